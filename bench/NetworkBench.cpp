// The recurrent network alone: ns per step of the block kernel (steady and gliding), of the
// single step and of the straightforward form, all in one run; then what a processor instance
// costs to create and to keep. Single-threaded; every figure is the median of repeated runs.

#include <processor/PluginProcessor.h>
#include <processor/ShippedModels.h>
#include <support/StraightforwardGru.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;
using Cell = Tovani::HyperGRU<float, 12, 2>;

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

volatile float sink = 0.0f;

double residentMegabytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen ("/proc/self/statm", "r"))
    {
        if (std::fscanf (f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose (f);
    }
    return (double) resident * (double) sysconf (_SC_PAGESIZE) / (1024.0 * 1024.0);
}

void benchSteps()
{
    const auto& shipped = ShippedModels::model96();
    auto subnet = shipped.subnet;
    subnet.forward (0.2f, 0.0f);
    const Eigen::MatrixXf fromIh = subnet.weightIh, fromHh = subnet.weightHh;
    subnet.forward (0.6f, 0.8f);
    const Eigen::MatrixXf toIh = subnet.weightIh, toHh = subnet.weightHh;

    constexpr int block = 1024, blocks = 200, steps = block * blocks;
    std::vector<float> left (block), right (block);
    std::mt19937 rng (3);
    std::uniform_real_distribution<float> noise (-0.3f, 0.3f);
    for (int i = 0; i < block; ++i)
    {
        left[(size_t) i] = noise (rng);
        right[(size_t) i] = noise (rng);
    }
    std::vector<float> outL (block), outR (block);

    Cell cell;
    cell.outWeight = shipped.outWeight;
    cell.reset (2, block);
    const auto perStep = [] (double seconds, int n) { return seconds / n * 1e9; };

    const auto blockRun = [&] (int length, bool gliding)
    {
        return perStep (medianSeconds (9, [&]
        {
            for (int done = 0; done < steps; done += length)
            {
                if (gliding)
                    cell.forward_block_gliding (left.data(), right.data(), outL.data(), outR.data(), length,
                                                fromIh, fromHh, toIh, toHh);
                else
                    cell.forward_block (left.data(), right.data(), outL.data(), outR.data(), length, fromIh, fromHh);
            }
            sink = sink + outL[0];
        }), steps);
    };

    const double blockSteady = blockRun (block, false);
    const double blockGliding = blockRun (block, true);
    const double shortSteady = blockRun (128, false);
    const double shortGliding = blockRun (128, true);

    const double cellSteady = perStep (medianSeconds (9, [&]
    {
        for (int t = 0; t < steps; ++t)
        {
            cell.input (0, 0) = left[(size_t) (t % block)];
            cell.input (0, 1) = right[(size_t) (t % block)];
            cell.forward_cell (cell.input, fromIh, fromHh);
        }
        sink = sink + cell.output (0, 0);
    }), steps);

    Tovani::setNativeGruStepAllowed (false);
    const double portableBlock = blockRun (block, false);
    const double portableGliding = blockRun (block, true);
    Tovani::setNativeGruStepAllowed (true);

    StraightforwardGru plain;
    plain.outWeight = shipped.outWeight;
    Eigen::MatrixXf x (1, 2);
    const double plainSteady = perStep (medianSeconds (5, [&]
    {
        for (int t = 0; t < steps; ++t)
        {
            x << left[(size_t) (t % block)], right[(size_t) (t % block)];
            plain.forward (x, fromIh, fromHh);
        }
        sink = sink + plain.output (0, 0);
    }), steps);

    const double subnetUs = medianSeconds (21, [&]
    {
        for (int i = 0; i < 1000; ++i)
            subnet.forward (0.2f + 0.0001f * (float) i, 0.5f);
        sink = sink + subnet.weightHh (0, 0);
    }) / 1000.0 * 1e6;

    std::printf ("Recurrent network, stereo, ns per step (ratio: straightforward / this)\n");
    const auto row = [&] (const char* name, double ns)
    { std::printf ("  %-44s %7.1f  (%.1fx)\n", name, ns, plainSteady / ns); };
    std::printf ("  %-44s %7.1f\n", "straightforward form, steady", plainSteady);
    row ("forward_cell, steady", cellSteady);
    row ("forward_block, 1024 steps, steady", blockSteady);
    row ("forward_block_gliding, 1024 steps", blockGliding);
    row ("forward_block, 128 steps, steady", shortSteady);
    row ("forward_block_gliding, 128 steps", shortGliding);
    row ("forward_block, portable path, steady", portableBlock);
    row ("forward_block_gliding, portable path", portableGliding);
    std::printf ("  (AVX2 block kernel %s on this CPU)\n",
                 Tovani::nativeGruBlockKernel() != nullptr ? "in use" : "not available");
    std::printf ("  control change every block (hyper-network %.2f us + glide) / steady block:\n", subnetUs);
    std::printf ("    1024 steps %.2fx, 128 steps %.2fx\n",
                 (blockGliding * 1024 + subnetUs * 1e3) / (blockSteady * 1024),
                 (shortGliding * 128 + subnetUs * 1e3) / (shortSteady * 128));
}

void benchInstances()
{
    const auto firstUse = medianSeconds (1, [] { sink = sink + ShippedModels::model96().outWeight (0, 0)
                                                         + ShippedModels::model192().outWeight (0, 0); });

    // What an instance wired to the shared sets copies: both hyper-networks and the kernel.
    const double copyUs = medianSeconds (101, []
    {
        auto a = ShippedModels::model96().subnet;
        auto b = ShippedModels::model192().subnet;
        auto k = ShippedModels::model96().causalKernel;
        sink = sink + a.inBias (0) + b.inBias (0) + k[0];
    }) * 1e6;

    constexpr int count = 8;
    std::vector<std::unique_ptr<TovaniAudioProcessor>> instances;
    const auto make = [&]
    {
        instances.push_back (std::make_unique<TovaniAudioProcessor>());
        auto& p = *instances.back();
        p.setPlayConfigDetails (2, 2, 48000.0, 512);
        p.prepareToPlay (48000.0, 512);
    };
    make();   // warm-up: first use of everything shared
    const double before = residentMegabytes();
    const double createMs = medianSeconds (count, make) * 1e3;
    const double perInstanceMb = (residentMegabytes() - before) / count;

    std::printf ("\nInstances\n");
    std::printf ("  shipped weight sets parsed (once per process)   %7.1f ms\n", firstUse * 1e3);
    std::printf ("  copying both hyper-networks and a kernel        %7.1f us\n", copyUs);
    std::printf ("  processor created and prepared at 48 kHz        %7.1f ms\n", createMs);
    std::printf ("  resident memory per prepared instance           %7.2f MB\n", perInstanceMb);
}
} // namespace

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchSteps();
    benchInstances();
    return 0;
}
