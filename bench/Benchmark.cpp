// Prints where the time goes: the recurrent step, the hyper-network, whole blocks at common
// host rates and layouts, and the share of each stage of the block road. Single-threaded;
// the step and stage figures are medians of repeated runs, the real-time factors the fastest of
// nine runs of half a second of audio in each of three passes over the table.

#include <processor/PluginProcessor.h>
#include <support/StraightforwardGru.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

/** Median over `repeats` runs of `run`, in seconds per run. */
double medianSeconds (int repeats, const std::function<void()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i)
    {
        const auto start = Clock::now();
        run();
        times.push_back (std::chrono::duration<double> (Clock::now() - start).count());
    }
    std::nth_element (times.begin(), times.begin() + (long) times.size() / 2, times.end());
    return times[times.size() / 2];
}

/** The fastest of `repeats` runs of `run`, in seconds: on a shared machine a run is only ever
    slowed by the others. */
double fastestSeconds (int repeats, const std::function<void()>& run)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i)
    {
        const auto start = Clock::now();
        run();
        best = std::min (best, std::chrono::duration<double> (Clock::now() - start).count());
    }
    return best;
}

volatile float sink = 0.0f;   // keeps results alive

struct Weights
{
    Eigen::MatrixXf ih, hh;
};

Weights shippedWeights (TovaniAudioProcessor& p, float eq, float depth)
{
    auto& subnet = p.road.network.subnet96;
    subnet.forward (eq, depth);
    return { subnet.weightIh, subnet.weightHh };
}

void benchRecurrentStep (TovaniAudioProcessor& p)
{
    constexpr int steps = 200000;
    const auto from = shippedWeights (p, 0.2f, 0.0f);
    auto to = shippedWeights (p, 0.6f, 0.8f);
    auto fromIh = from.ih, fromHh = from.hh;
    std::vector<Eigen::MatrixXf> ihRamp, hhRamp;
    Tovani::interpolateMatrix (fromIh, to.ih, 1024, ihRamp);
    Tovani::interpolateMatrix (fromHh, to.hh, 1024, hhRamp);

    auto& cell = p.road.network.gru96;
    cell.reset (2, 1024);
    StraightforwardGru plain;
    plain.outWeight = cell.outWeight;
    Eigen::MatrixXf x = Eigen::MatrixXf::Zero (1, 2);

    const auto perStep = [] (double seconds) { return seconds / steps * 1e9; };

    const double shippedSteady = perStep (medianSeconds (7, [&]
    {
        for (int t = 0; t < steps; ++t)
        {
            cell.input (0, 0) = 0.001f * (float) (t % 200);
            cell.forward_cell (cell.input, from.ih, from.hh);
        }
        sink = sink + cell.output (0, 0);
    }));

    const double shippedGliding = perStep (medianSeconds (7, [&]
    {
        for (int t = 0; t < steps; ++t)
        {
            cell.input (0, 0) = 0.001f * (float) (t % 200);
            cell.forward_cell (cell.input, ihRamp[(size_t) (t & 1023)], hhRamp[(size_t) (t & 1023)]);
        }
        sink = sink + cell.output (0, 0);
    }));

    Tovani::setNativeGruStepAllowed (false);
    const double portableSteady = perStep (medianSeconds (7, [&]
    {
        for (int t = 0; t < steps; ++t)
        {
            cell.input (0, 0) = 0.001f * (float) (t % 200);
            cell.forward_cell (cell.input, from.ih, from.hh);
        }
        sink = sink + cell.output (0, 0);
    }));
    Tovani::setNativeGruStepAllowed (true);

    const double plainSteady = perStep (medianSeconds (5, [&]
    {
        for (int t = 0; t < steps; ++t)
        {
            x (0, 0) = 0.001f * (float) (t % 200);
            plain.forward (x, from.ih, from.hh);
        }
        sink = sink + plain.output (0, 0);
    }));

    std::printf ("\nRecurrent step (HyperGRU<float, 12, 2>::forward_cell), ns per step\n");
    std::printf ("  %-34s %8.1f\n", "straightforward form, steady", plainSteady);
    std::printf ("  %-34s %8.1f  (%.1fx)\n", "shipped, steady weights", shippedSteady, plainSteady / shippedSteady);
    std::printf ("  %-34s %8.1f  (%.1fx)\n", "shipped, gliding weights", shippedGliding, plainSteady / shippedGliding);
    std::printf ("  %-34s %8.1f  (%.1fx)\n", "portable path (no AVX2), steady", portableSteady, plainSteady / portableSteady);
    std::printf ("  (vectorised kernel %s on this CPU)\n", Tovani::nativeGruStepKernel() != nullptr ? "in use" : "not available");

    const double subnet = medianSeconds (21, [&]
    {
        for (int i = 0; i < 1000; ++i)
            p.road.network.subnet96.forward (0.2f + 0.0001f * (float) i, 0.5f);
        sink = sink + p.road.network.subnet96.weightHh (0, 0);
    }) / 1000.0 * 1e6;
    std::printf ("\nHyper-network (Subnet<float, 12>::forward): %.2f us per call\n", subnet);
}

struct BlockCase
{
    double rate;
    int channels, block;
};

/** Seconds of audio processed per second of CPU. */
double realTimeFactor (const BlockCase& c, bool changeEveryBlock)
{
    TovaniAudioProcessor p;
    const auto set = c.channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    p.setPlayConfigDetails (c.channels, c.channels, c.rate, c.block);
    p.setBusesLayout ({ { set }, { set } });
    p.prepareToPlay (c.rate, c.block);

    juce::AudioBuffer<float> buffer (c.channels, c.block);
    juce::MidiBuffer midi;
    std::mt19937 rng (1);
    std::uniform_real_distribution<float> noise (-0.3f, 0.3f);
    auto* depth = p.valueTreeState.getParameter ("Depth");

    const int blocks = std::max (8, (int) (0.5 * c.rate / c.block));   // half a second of audio

    // The input is drawn before the clock starts: drawing it per sample costs about as much as
    // the lighter stages of the road.
    constexpr int pool = 16;
    juce::AudioBuffer<float> inputs (c.channels, pool * c.block);
    for (int ch = 0; ch < c.channels; ++ch)
        for (int i = 0; i < pool * c.block; ++i)
            inputs.setSample (ch, i, noise (rng));

    int counter = 0;
    const auto run = [&]
    {
        for (int b = 0; b < blocks; ++b)
        {
            for (int ch = 0; ch < c.channels; ++ch)
                buffer.copyFrom (ch, 0, inputs, ch, (b % pool) * c.block, c.block);
            if (changeEveryBlock)
                depth->setValueNotifyingHost ((float) (++counter % 2) * 0.3f + 0.35f);
            p.processBlock (buffer, midi);
        }
    };

    run();   // warm-up: first-block preparation, allocations
    const double seconds = fastestSeconds (9, run);
    return blocks * c.block / c.rate / seconds;
}

void benchBlocks()
{
    // The whole table runs three times and each entry keeps its best: on a shared machine a slow
    // spell then lands on different entries in each pass instead of on one row for good.
    struct Entry
    {
        BlockCase c;
        double steady = 0.0, change = 0.0;
    };
    std::vector<Entry> entries;
    for (const double rate : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
        for (const int channels : { 2, 1 })
            for (const int block : { 64, 512, 2048 })
                entries.push_back ({ { rate, channels, block } });

    for (int pass = 0; pass < 3; ++pass)
        for (auto& e : entries)
        {
            e.steady = std::max (e.steady, realTimeFactor (e.c, false));
            e.change = std::max (e.change, realTimeFactor (e.c, true));
        }

    std::printf ("\nprocessBlock, real-time factor (seconds of audio per CPU second), single instance\n");
    std::printf ("  %-8s %-7s %6s %12s %16s\n", "rate", "layout", "block", "steady", "change/block");
    for (const auto& e : entries)
        std::printf ("  %-8.0f %-7s %6d %11.1fx %15.1fx\n", e.c.rate, e.c.channels == 2 ? "stereo" : "mono",
                     e.c.block, e.steady, e.change);
}

/** The road of one block, stage by stage, with the same calls the road makes. */
void benchStages (double rate)
{
    constexpr int n = 512;
    TovaniAudioProcessor p;
    p.setPlayConfigDetails (2, 2, rate, n);
    p.prepareToPlay (rate, n);
    juce::AudioBuffer<float> buffer (2, n);
    juce::MidiBuffer midi;
    buffer.clear();
    p.processBlock (buffer, midi);

    auto& road = p.road;
    std::mt19937 rng (2);
    std::uniform_real_distribution<float> noise (-0.3f, 0.3f);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < n; ++i)
            buffer.setSample (ch, i, noise (rng));

    float* const* model = road.modelBuffer.getArrayOfWritePointers();
    const int N = road.resampler.up (buffer.getArrayOfReadPointers(), n, model);
    float eq = 0.2f;

    struct Stage
    {
        const char* name;
        std::function<void()> run;
        double seconds = 0.0;
    };
    std::vector<Stage> stages {
        { "input resampling", [&] { road.resampler.up (buffer.getArrayOfReadPointers(), n, model); } },
        { "input kernel", [&] { road.kernel.process (model, 2, N); } },
        { "recurrent cell", [&] { road.network.process (model, N, eq, 0.5f); } },
        { "output resampling", [&] { road.resampler.down (road.modelBuffer.getArrayOfReadPointers(), N, buffer.getArrayOfWritePointers(), n); } },
        { "true-peak meters (both)", [&] { p.GetTruePeak (buffer, 0); p.GetTruePeak (buffer, 1); } },
        { "gains, guard, bypass fade", [&]
          {
              road.bypassFade.captureDry (buffer);
              road.inputGain.process (buffer, 1.0f);
              for (int ch = 0; ch < 2; ++ch)
                  InputGuard::process (buffer.getWritePointer (ch), n);
              road.outputGain.process (buffer, 1.0f);
              road.bypassFade.process (buffer, false);
          } },
        { "network with a control change", [&] { eq = eq == 0.2f ? 0.3f : 0.2f; road.network.process (model, N, eq, 0.5f); } },
    };

    // Every stage but the last makes up a steady block; the last replaces the network's share
    // when a control changes. Medians, not the fastest runs: the resampler's work differs from
    // block to block, and its fastest block is well under its typical one.
    double total = 0.0;
    for (size_t i = 0; i < stages.size(); ++i)
    {
        stages[i].seconds = medianSeconds (41, stages[i].run);
        if (i + 1 < stages.size())
            total += stages[i].seconds;
    }

    std::printf ("\nStages of one block (%.1f kHz stereo, 512 samples, %d model-rate samples), median us and share\n",
                 rate / 1000.0, N);
    for (size_t i = 0; i + 1 < stages.size(); ++i)
        std::printf ("  %-34s %8.1f us %6.1f %%\n", stages[i].name, stages[i].seconds * 1e6, 100.0 * stages[i].seconds / total);
    const double change = total - stages[2].seconds + stages.back().seconds;
    std::printf ("  %-34s %8.1f us  (%.0fx real time)\n", "sum, steady", total * 1e6, n / rate / total);
    std::printf ("  %-34s %8.1f us  (sum with a change: %.1f us, %.2fx steady)\n", stages.back().name,
                 stages.back().seconds * 1e6, change * 1e6, change / total);
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    std::printf ("Lumbrane benchmark (%s)\n", juce::SystemStats::getCpuModel().toRawUTF8());
    const bool stagesOnly = argc > 1 && std::string (argv[1]) == "--stages";

    TovaniAudioProcessor processor;
    if (! stagesOnly)
        benchRecurrentStep (processor);
    for (const double rate : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
        benchStages (rate);
    if (! stagesOnly)
        benchBlocks();
    return 0;
}
