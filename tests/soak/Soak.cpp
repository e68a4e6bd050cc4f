// A long offline run of everything a host does to a plug-in at once, with the checks a listener and
// a host care about. Stretches of a couple of seconds follow each other at random:
//
//   - automation: all seven parameters moved between blocks, random block lengths, rate changes;
//   - a host thread: parameters moved and saved states (ours and hostile ones) restored from
//     another thread while audio runs;
//   - garbage input: huge samples (1e30, 3e38) and random float bit patterns, NaN and inf among them;
//   - a check: settings held, and the output compared with a fresh instance given the same input
//     and settings (a level off by 1 dB fails), and at Depth 0 with the level the gains predict.
//
// The editor is opened and closed now and then on this (the message) thread. Bypassed blocks are
// counted apart, so the minutes of audio are processed audio. It prints its figures and fails
// when an output sample is non-finite, the output runs away, a check is off, memory grows, or a
// steady block allocates.
//
//   soak [--audio-minutes M] [--seed S]

#include <processor/PluginProcessor.h>
#include <support/AllocationCounter.h>
#include <support/HostileStates.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <thread>

namespace
{
long residentKilobytes()
{
    std::ifstream statm ("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;   // 4 KiB pages
}

struct Options
{
    double audioMinutes = 3.0;
    unsigned seed = 1;
};

Options parse (int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp (argv[i], "--audio-minutes") == 0)
            o.audioMinutes = std::stod (argv[i + 1]);
        else if (std::strcmp (argv[i], "--seed") == 0)
            o.seed = (unsigned) std::stoul (argv[i + 1]);
    }
    return o;
}

constexpr int bypassIndex = 6;   // the parameters in layout order; Bypass last
const char* const ids[] = { "Input Gain", "Output Gain", "Depth", "Depth EQ", "Depth EQ Switch", "IO Link Switch", "Bypass" };

void setPlain (TovaniAudioProcessor& p, int index, float plain)
{
    auto* parameter = p.valueTreeState.getParameter (ids[index]);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (plain));
}

float plain (TovaniAudioProcessor& p, int index) { return p.valueTreeState.getRawParameterValue (ids[index])->load(); }

bool bypassed (TovaniAudioProcessor& p) { return isBypassed (plain (p, bypassIndex)); }

/** The level of the signal about its mean: the network may leave a small constant offset. */
double rmsDecibels (const std::vector<float>& x, size_t from)
{
    double sum = 0.0, squares = 0.0;
    for (size_t i = from; i < x.size(); ++i)
    {
        sum += x[i];
        squares += (double) x[i] * x[i];
    }
    const auto n = (double) (x.size() - from);
    return 10.0 * std::log10 (std::max (squares / n - (sum / n) * (sum / n), 0.0) + 1e-30);
}

/** A tone with a little noise, at about -27 dBFS: an ordinary level, where Depth 0 is transparent. */
struct TestSignal
{
    std::vector<float> left, right;

    TestSignal (double rate, int samples, std::mt19937& rng)
    {
        std::normal_distribution<float> noise (0.0f, 0.005f);
        const double frequency = 100.0 + 2900.0 * std::uniform_real_distribution<double> (0.0, 1.0) (rng);
        for (int i = 0; i < samples; ++i)
        {
            const auto tone = 0.06f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * frequency * i / rate);
            left.push_back (tone + noise (rng));
            right.push_back (0.5f * tone + noise (rng));
        }
    }
};

/** Plays a signal through an instance in blocks of the given length; returns both output channels. */
std::array<std::vector<float>, 2> play (TovaniAudioProcessor& p, const TestSignal& signal, int length)
{
    std::array<std::vector<float>, 2> out;
    juce::AudioBuffer<float> buffer (2, length);
    juce::MidiBuffer midi;
    for (size_t start = 0; start < signal.left.size(); start += (size_t) length)
    {
        const auto n = (int) std::min ((size_t) length, signal.left.size() - start);
        buffer.setSize (2, n, false, false, true);
        std::copy_n (signal.left.begin() + (long) start, n, buffer.getWritePointer (0));
        std::copy_n (signal.right.begin() + (long) start, n, buffer.getWritePointer (1));
        p.processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            out[(size_t) c].insert (out[(size_t) c].end(), buffer.getReadPointer (c), buffer.getReadPointer (c) + n);
    }
    return out;
}

struct Figures
{
    double processedSeconds = 0.0, bypassedSeconds = 0.0;
    long blocks = 0, steadyBlocks = 0, bypassedBlocks = 0, garbageBlocks = 0;
    long nonFinite = 0, nonFiniteAfterGarbage = 0, passedThroughBypass = 0, steadyAllocations = 0;
    long samplesSinceGarbage = 1L << 40, samplesSinceBypass = 1L << 40;
    float loudest = 0.0f;
    long checks = 0, failedChecks = 0, levelChecks = 0;
    double worstAgainstFresh = 0.0, worstAgainstGains = 0.0;
    std::atomic<long> restores { 0 }, hostThreadMoves { 0 };
    std::atomic<double> slowestRestoreMs { 0.0 };
    long editorsOpened = 0;
};
} // namespace

int main (int argc, char** argv)
{
    const auto options = parse (argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    std::mt19937 rng (options.seed);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);

    TovaniAudioProcessor p;
    const double rates[] = { 192000.0, 96000.0, 88200.0, 48000.0, 44100.0, 22050.0 };
    const int lengths[] = { 1, 7, 32, 64, 128, 256, 441, 512, 1000, 1024, 2048, 4096 };
    auto& parameters = p.getParameters();
    Figures f;

    // States a host thread restores: saved ones of ours and the hostile ones, made once.
    std::vector<juce::MemoryBlock> states;
    for (int i = 0; i < 4; ++i)
    {
        TovaniAudioProcessor other;
        for (auto* parameter : other.getParameters())
            parameter->setValueNotifyingHost (parameter->getName (100) == "Bypass" ? 0.0f : unit (rng));
        other.getStateInformation (states.emplace_back());
    }
    for (const auto& text : { HostileStates::nonFiniteValues(), HostileStates::junkAroundAChild() })
        states.emplace_back (HostileStates::wrap (text).c_str(), text.size() + 9);
    for (const auto& state : HostileStates::refusedWhole())
        states.emplace_back (HostileStates::wrap (state.text).c_str(), state.text.size() + 9);

    const auto restore = [&f, &p] (const juce::MemoryBlock& state)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        p.setStateInformation (state.getData(), (int) state.getSize());
        const auto ms = juce::Time::getMillisecondCounterHiRes() - start;
        if (ms > f.slowestRestoreMs.load())
            f.slowestRestoreMs = ms;
        ++f.restores;
    };

    const auto openAndCloseEditor = [&f, &p]
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (p.createEditorIfNeeded());
        juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
        juce::Graphics g (image);
        editor->paintEntireComponent (g, false);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
        ++f.editorsOpened;
    };

    double rate = 48000.0;
    int length = 512;
    p.setPlayConfigDetails (2, 2, rate, length);

    juce::AudioBuffer<float> buffer (2, 4096);
    juce::MidiBuffer midi;
    std::normal_distribution<float> noise (0.0f, 0.2f);

    // A check: every setting held at random, the same signal through this instance and through a
    // fresh one; the levels over the second half must agree. Every other time at Depth 0 and gains
    // that keep the level ordinary, where the network is linear: there the level must also be a
    // fresh instance's at 0 dB gains plus the two gains.
    const auto check = [&]
    {
        const bool atDepthZero = f.checks % 2 == 0;
        float settings[7];
        for (int i = 0; i < 7; ++i)
            settings[i] = p.valueTreeState.getParameter (ids[i])->convertFrom0to1 (unit (rng));
        settings[bypassIndex] = 0.0f;
        if (atDepthZero)
        {
            settings[0] = -12.0f + 18.0f * unit (rng);
            settings[2] = 0.0f;
        }

        const TestSignal signal (rate, (int) rate, rng);
        const auto playFresh = [&] (bool unityGains)
        {
            TovaniAudioProcessor fresh;
            fresh.setPlayConfigDetails (2, 2, rate, length);
            fresh.prepareToPlay (rate, length);
            for (int i = 0; i < 7; ++i)
                setPlain (fresh, i, unityGains && i < 2 ? 0.0f : settings[i]);
            return play (fresh, signal, length);
        };

        for (int i = 0; i < 7; ++i)
            setPlain (p, i, settings[i]);
        const auto soaked = play (p, signal, length);
        const auto reference = playFresh (false);
        const auto unity = atDepthZero ? playFresh (true) : reference;

        bool failed = false;
        for (size_t c = 0; c < 2; ++c)
        {
            const auto half = signal.left.size() / 2;
            const auto level = rmsDecibels (soaked[c], half);
            const auto againstFresh = std::abs (level - rmsDecibels (reference[c], half));
            f.worstAgainstFresh = std::max (f.worstAgainstFresh, againstFresh);
            failed = failed || ! (againstFresh < 0.5);

            if (atDepthZero)
            {
                const auto expected = rmsDecibels (unity[c], half) + plain (p, 0) + plain (p, 1);
                const auto againstGains = std::abs (level - expected);
                f.worstAgainstGains = std::max (f.worstAgainstGains, againstGains);
                failed = failed || ! (againstGains < 0.5);
            }
        }
        if (failed)
        {
            std::printf ("soak: check %ld off at %.0f Hz, block %d:", f.checks, rate, length);
            for (int i = 0; i < 7; ++i)
                std::printf (" %s %.2f", ids[i], settings[i]);
            std::printf ("\n");
        }
        f.levelChecks += atDepthZero ? 1 : 0;
        f.failedChecks += failed ? 1 : 0;
        ++f.checks;
        f.processedSeconds += (double) signal.left.size() / rate;
    };

    // A tour of the largest cases first: every rate with the longest block and a control change,
    // a check, a restore and the editor. A glide holds one weight set per model-rate sample, so
    // the resident size rises and falls with the block length; the tour's peak is the most the
    // run may ever need.
    long memoryAfterWarmUp = -1;
    for (const double tourRate : rates)
    {
        p.prepareToPlay (tourRate, 4096);
        buffer.setSize (2, 4096, false, false, true);
        buffer.clear();
        for (int block = 0; block < 2; ++block)
        {
            parameters[2]->setValueNotifyingHost (block == 0 ? 0.25f : 0.75f);
            p.processBlock (buffer, midi);
            memoryAfterWarmUp = std::max (memoryAfterWarmUp, residentKilobytes());
        }
    }
    p.prepareToPlay (rate, length);
    check();
    for (const auto& state : states)
        restore (state);
    openAndCloseEditor();
    memoryAfterWarmUp = std::max (memoryAfterWarmUp, residentKilobytes());

    const auto start = juce::Time::getMillisecondCounterHiRes();
    const double totalSeconds = options.audioMinutes * 60.0;
    double nextRateChange = 20.0, nextCheck = 10.0;
    double phase = 0.0;
    long memoryAtEnd = -1;

    // Whether anything changed since the last block the processor actually ran (bypassed
    // blocks run nothing, so what changes during bypass lands in the first block after it).
    bool changed = true;

    while (f.processedSeconds < totalSeconds)
    {
        if (f.processedSeconds >= nextCheck)
        {
            check();
            nextCheck += 10.0;
            changed = true;
            continue;
        }

        if (f.processedSeconds >= nextRateChange)
        {
            rate = rates[rng() % std::size (rates)];
            p.prepareToPlay (rate, length);   // as a host does when its rate changes
            nextRateChange += 20.0;
            changed = true;
        }

        enum class Kind { automation, hostThread, garbage } kind = Kind::automation;
        const auto pick = unit (rng);
        if (pick < 0.2f)
            kind = Kind::hostThread;
        else if (pick < 0.3f)
            kind = Kind::garbage;

        std::atomic<bool> hostRunning { kind == Kind::hostThread };
        std::thread host;
        if (kind == Kind::hostThread)
        {
            host = std::thread ([&, seed = (unsigned) rng()]
            {
                std::mt19937 hostRng (seed);
                while (hostRunning)
                {
                    if (hostRng() % 8 == 0)
                        restore (states[hostRng() % states.size()]);
                    else
                    {
                        auto* parameter = parameters[(int) (hostRng() % (unsigned) parameters.size())];
                        parameter->setValueNotifyingHost (parameter->getName (100) == "Bypass" ? (float) (hostRng() % 4 == 0)
                                                                                                  : (float) (hostRng() % 1001) / 1000.0f);
                        ++f.hostThreadMoves;
                    }
                    std::this_thread::sleep_for (std::chrono::milliseconds (2));
                }
            });
        }

        // A stretch is two seconds of blocks, bypassed ones included: a stretch that moves no
        // parameter and starts bypassed would otherwise never end.
        const double stretchEnd = f.processedSeconds + f.bypassedSeconds + 2.0;
        bool afterGarbage = false;
        while (f.processedSeconds + f.bypassedSeconds < stretchEnd && f.processedSeconds < totalSeconds)
        {
            if (unit (rng) < 0.1f)
            {
                length = lengths[rng() % std::size (lengths)];
                changed = true;
            }

            if (kind == Kind::automation && unit (rng) < 0.2f)
            {
                auto* parameter = parameters[(int) (rng() % (unsigned) parameters.size())];
                const bool isBypass = parameter->getName (100) == "Bypass";
                parameter->setValueNotifyingHost (isBypass ? (unit (rng) < 0.3f ? 1.0f : 0.0f) : unit (rng));
                changed = true;
            }

            buffer.setSize (2, length, false, false, true);
            const bool garbage = kind == Kind::garbage && unit (rng) < 0.5f;
            const float level = unit (rng) < 0.01f ? 4.0f : 1.0f;   // now and then far too hot
            for (int i = 0; i < length; ++i)
            {
                phase += 2.0 * juce::MathConstants<double>::pi * 220.0 / rate;
                const float tone = 0.5f * (float) std::sin (phase);
                buffer.setSample (0, i, level * (tone + noise (rng)));
                buffer.setSample (1, i, level * (0.5f * tone - noise (rng)));
            }
            if (garbage)
            {
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < length; ++i)
                    {
                        const auto r = rng();
                        float v;
                        switch (r % 4)
                        {
                            case 0: v = (r & 4) ? 1e30f : -1e30f; break;
                            case 1: v = (r & 4) ? 3e38f : -3e38f; break;
                            case 2: { const auto bits = (std::uint32_t) rng(); std::memcpy (&v, &bits, 4); break; }
                            default: v = (r & 4) ? std::numeric_limits<float>::quiet_NaN() : -std::numeric_limits<float>::infinity(); break;
                        }
                        if (r % 3 == 0)
                            buffer.setSample (c, i, v);
                    }
                ++f.garbageBlocks;
                afterGarbage = true;
                f.samplesSinceGarbage = -length;
            }

            const bool isBypassed = bypassed (p);
            const bool steady = ! changed && ! isBypassed && kind == Kind::automation;

            if (steady)
            {
                AllocationCounter counter;
                p.processBlock (buffer, midi);
                f.steadyAllocations += (long) counter.count();
                ++f.steadyBlocks;
            }
            else
            {
                p.processBlock (buffer, midi);
            }

            if (! isBypassed)
                changed = false;

            // A bypass passes the host's input untouched, garbage too, delayed by the latency and
            // faded over 5 ms: non-finite output is that input only within that reach of both.
            if (isBypassed)
                f.samplesSinceBypass = -length;
            const long reach = p.getLatencySamples() + (long) (0.005 * rate) + length;
            const bool bypassPassesGarbage = f.samplesSinceGarbage <= reach && f.samplesSinceBypass <= reach;
            f.samplesSinceGarbage += length;
            f.samplesSinceBypass += length;

            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < length; ++i)
                {
                    const float v = buffer.getSample (c, i);
                    if (! std::isfinite (v))
                        ++(bypassPassesGarbage ? f.passedThroughBypass : afterGarbage ? f.nonFiniteAfterGarbage : f.nonFinite);
                    else if (! isBypassed && ! bypassPassesGarbage)
                        f.loudest = std::max (f.loudest, std::abs (v));
                }

            (isBypassed ? f.bypassedSeconds : f.processedSeconds) += length / rate;
            ++(isBypassed ? f.bypassedBlocks : f.blocks);

            // Parameter changes post notifications to the message thread, which a host keeps
            // running; now and then the user opens the editor.
            if ((f.blocks + f.bypassedBlocks) % 256 == 0)
                juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
            if ((f.blocks + f.bypassedBlocks) % 2000 == 0)
                openAndCloseEditor();

            if (f.blocks % 64 == 0 && kind != Kind::hostThread)
                memoryAtEnd = std::max (memoryAtEnd, residentKilobytes());
        }

        hostRunning = false;
        if (host.joinable())
        {
            host.join();
            changed = true;
        }

        // A bypass left on by the last stretch would let the run idle through bypassed blocks.
        if (bypassed (p) && unit (rng) < 0.5f)
            setPlain (p, bypassIndex, 0.0f);
    }

    const double wallSeconds = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
    memoryAtEnd = std::max (memoryAtEnd, residentKilobytes());

    // Every state unit stays within ±1, so the output is bounded by the read-out's weights
    // times the largest output gain (+20 dB), with a margin for the resamplers.
    const float readOut = std::max (p.road.network.gru96.outWeight.cwiseAbs().colwise().sum().maxCoeff(),
                                    p.road.network.gru192.outWeight.cwiseAbs().colwise().sum().maxCoeff());
    const float bound = 10.0f * readOut * 2.0f;
    const long memoryGrowth = memoryAtEnd - memoryAfterWarmUp;
    const bool countingAllocations = AllocationCounter::isAvailable();

    std::printf ("soak: %.1f min of processed audio (and %.1f min bypassed) in %.1f s (%.0fx real time)\n",
                 f.processedSeconds / 60.0, f.bypassedSeconds / 60.0, wallSeconds, f.processedSeconds / wallSeconds);
    std::printf ("soak: %ld processed blocks (%ld steady), %ld bypassed, %ld with garbage samples\n",
                 f.blocks, f.steadyBlocks, f.bypassedBlocks, f.garbageBlocks);
    std::printf ("soak: non-finite samples %ld with ordinary input, %ld in or after garbage (and %ld of the garbage "
                 "passed on untouched while bypassed); loudest sample %.3f (bound %.1f)\n",
                 f.nonFinite, f.nonFiniteAfterGarbage, f.passedThroughBypass, f.loudest, bound);
    std::printf ("soak: %ld checks against a fresh instance, %ld failed; worst level difference %.3f dB, "
                 "worst against the gains at Depth 0 %.3f dB (%ld checks); a check fails at 0.5 dB\n",
                 f.checks, f.failedChecks, f.worstAgainstFresh, f.worstAgainstGains, f.levelChecks);
    std::printf ("soak: %ld restores (%zu states, %zu of them hostile), slowest %.2f ms; %ld parameter moves from a host thread; editor opened %ld times\n",
                 f.restores.load(), states.size(), states.size() - 4, f.slowestRestoreMs.load(), f.hostThreadMoves.load(), f.editorsOpened);
    std::printf ("soak: resident memory peaks at %ld kB in the warm-up tour, %ld kB in the run (growth %ld kB)\n",
                 memoryAfterWarmUp, memoryAtEnd, memoryGrowth);
    std::printf ("soak: allocations in steady blocks %ld%s\n", f.steadyAllocations,
                 countingAllocations ? "" : " (not counted in this build)");

    const bool passed = f.nonFinite == 0 && f.nonFiniteAfterGarbage == 0 && f.loudest <= bound && f.failedChecks == 0
                        && memoryGrowth < 8192 && f.steadyAllocations == 0;
    std::printf ("soak: %s\n", passed ? "passed" : "FAILED");
    return passed ? 0 : 1;
}
