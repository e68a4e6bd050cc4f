// A long offline run: random automation of all seven parameters, random block lengths and rate
// changes, with the checks a listener and a host care about. It prints its figures and fails when
// a sample is non-finite, the output runs away, memory grows, or a steady block allocates.
//
//   soak [--audio-minutes M] [--seed S]

#include <processor/PluginProcessor.h>
#include <support/AllocationCounter.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

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

    double rate = 48000.0;
    int length = 512;
    p.setPlayConfigDetails (2, 2, rate, length);
    p.prepareToPlay (rate, length);

    juce::AudioBuffer<float> buffer (2, 4096);
    juce::MidiBuffer midi;
    std::normal_distribution<float> noise (0.0f, 0.2f);

    const double totalSeconds = options.audioMinutes * 60.0;
    double audioSeconds = 0.0, nextRateChange = 20.0;
    long blocks = 0, steadyBlocks = 0, nonFinite = 0, steadyAllocations = 0;
    float loudest = 0.0f;
    long memoryAtEnd = -1;
    double phase = 0.0;
    const auto start = juce::Time::getMillisecondCounterHiRes();

    long memoryAfterWarmUp = -1;

    // A tour of the largest cases first: every rate with the longest block and a control change.
    // A glide holds one weight set per model-rate sample, so the resident size rises and falls
    // with the block length; the tour's peak is the most the run may ever need.
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

    // Whether anything changed since the last block the processor actually ran (bypassed
    // blocks run nothing, so what changes during bypass lands in the first block after it).
    bool changed = true;

    while (audioSeconds < totalSeconds)
    {

        if (audioSeconds >= nextRateChange)
        {
            rate = rates[rng() % std::size (rates)];
            p.prepareToPlay (rate, length);   // as a host does when its rate changes
            nextRateChange += 20.0;
            changed = true;
        }

        if (unit (rng) < 0.1f)
        {
            length = lengths[rng() % std::size (lengths)];
            changed = true;
        }

        if (unit (rng) < 0.2f)
        {
            auto* parameter = parameters[(int) (rng() % (unsigned) parameters.size())];
            const bool isBypass = parameter->getName (100) == "Bypass";
            parameter->setValueNotifyingHost (isBypass ? (unit (rng) < 0.3f ? 1.0f : 0.0f) : unit (rng));
            changed = true;
        }

        buffer.setSize (2, length, false, false, true);
        const float level = unit (rng) < 0.01f ? 4.0f : 1.0f;   // now and then far too hot
        for (int i = 0; i < length; ++i)
        {
            phase += 2.0 * juce::MathConstants<double>::pi * 220.0 / rate;
            const float tone = 0.5f * (float) std::sin (phase);
            buffer.setSample (0, i, level * (tone + noise (rng)));
            buffer.setSample (1, i, level * (0.5f * tone - noise (rng)));
        }

        const bool bypassed = p.valueTreeState.getRawParameterValue ("Bypass")->load() >= 0.5f;

        if (changed || bypassed)
        {
            p.processBlock (buffer, midi);
        }
        else
        {
            AllocationCounter counter;
            p.processBlock (buffer, midi);
            steadyAllocations += (long) counter.count();
            ++steadyBlocks;
        }

        if (! bypassed)
            changed = false;

        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < length; ++i)
            {
                const float v = buffer.getSample (c, i);
                if (! std::isfinite (v))
                    ++nonFinite;
                else
                    loudest = std::max (loudest, std::abs (v));
            }

        audioSeconds += length / rate;
        ++blocks;

        // Parameter changes post notifications to the message thread, which a host keeps running.
        if (blocks % 256 == 0)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);

        if (blocks % 64 == 0)
            memoryAtEnd = std::max (memoryAtEnd, residentKilobytes());
    }

    const double wallSeconds = (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
    memoryAtEnd = std::max (memoryAtEnd, residentKilobytes());
    if (memoryAfterWarmUp < 0)
        memoryAfterWarmUp = memoryAtEnd;

    // Every state unit stays within ±1, so the output is bounded by the read-out's weights
    // times the largest output gain (+20 dB), with a margin for the resamplers.
    const float readOut = std::max (p.road.network.gru96.outWeight.cwiseAbs().colwise().sum().maxCoeff(),
                                    p.road.network.gru192.outWeight.cwiseAbs().colwise().sum().maxCoeff());
    const float bound = 10.0f * readOut * 2.0f;
    const long memoryGrowth = memoryAtEnd - memoryAfterWarmUp;
    const bool countingAllocations = AllocationCounter::isAvailable();

    std::printf ("soak: %.1f min of audio in %.1f s (%.0fx real time), %ld blocks (%ld steady)\n",
                 audioSeconds / 60.0, wallSeconds, audioSeconds / wallSeconds, blocks, steadyBlocks);
    std::printf ("soak: non-finite samples %ld, loudest sample %.3f (bound %.1f)\n", nonFinite, loudest, bound);
    std::printf ("soak: resident memory peaks at %ld kB in the warm-up tour, %ld kB in the run (growth %ld kB)\n",
                 memoryAfterWarmUp, memoryAtEnd, memoryGrowth);
    std::printf ("soak: allocations in steady blocks %ld%s\n", steadyAllocations,
                 countingAllocations ? "" : " (not counted in this build)");

    const bool passed = nonFinite == 0 && loudest <= bound && memoryGrowth < 8192 && steadyAllocations == 0;
    std::printf ("soak: %s\n", passed ? "passed" : "FAILED");
    return passed ? 0 : 1;
}
