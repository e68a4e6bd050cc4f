// The recurrent network alone: ns per step of the block kernel (steady and gliding), of the
// single step and of the straightforward form, all in one run; then what a processor instance
// costs to create and to keep. Single-threaded; every figure is the median of repeated runs.

#include <processor/PluginProcessor.h>
#include <processor/ShippedModels.h>

#include <BinaryData.h>
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

double seconds (const std::function<void()>& run)
{
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double> (Clock::now() - start).count();
}

/** The fastest run of each, over `rounds` rounds in which every one runs once. */
std::vector<double> fastestSeconds (int rounds, const std::vector<std::function<void()>>& runs)
{
    std::vector<double> best (runs.size(), 1e30);
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < runs.size(); ++i)
            best[i] = std::min (best[i], seconds (runs[i]));
    return best;
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

    constexpr int block = 1024, steps = block * 64;
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

    const auto blocks = [&] (int length, bool gliding, bool native)
    {
        return [&, length, gliding, native]
        {
            Tovani::setNativeGruStepAllowed (native);
            for (int done = 0; done < steps; done += length)
            {
                if (gliding)
                    cell.forward_block_gliding (left.data(), right.data(), outL.data(), outR.data(), length,
                                                fromIh, fromHh, toIh, toHh);
                else
                    cell.forward_block (left.data(), right.data(), outL.data(), outR.data(), length, fromIh, fromHh);
            }
            Tovani::setNativeGruStepAllowed (true);
            sink = sink + outL[0];
        };
    };

    StraightforwardGru plain;
    plain.outWeight = shipped.outWeight;
    Eigen::MatrixXf x (1, 2);

    const auto best = fastestSeconds (15, {
        [&]
        {
            for (int t = 0; t < steps; ++t)
            {
                x << left[(size_t) (t % block)], right[(size_t) (t % block)];
                plain.forward (x, fromIh, fromHh);
            }
            sink = sink + plain.output (0, 0);
        },
        [&]
        {
            for (int t = 0; t < steps; ++t)
            {
                cell.input (0, 0) = left[(size_t) (t % block)];
                cell.input (0, 1) = right[(size_t) (t % block)];
                cell.forward_cell (cell.input, fromIh, fromHh);
            }
            sink = sink + cell.output (0, 0);
        },
        blocks (block, false, true), blocks (block, true, true), blocks (128, false, true), blocks (128, true, true),
        blocks (block, false, false), blocks (block, true, false),
        [&]
        {
            for (int i = 0; i < 1000; ++i)
                subnet.forward (0.2f + 0.0001f * (float) i, 0.5f);
            sink = sink + subnet.weightHh (0, 0);
        } });

    const auto ns = [&] (size_t i) { return best[i] / steps * 1e9; };
    const double plainSteady = ns (0), subnetUs = best[8] / 1000.0 * 1e6;

    std::printf ("Recurrent network, stereo, ns per step (ratio: straightforward / this)\n");
    std::printf ("  %-44s %7.1f\n", "straightforward form, steady", plainSteady);
    const char* names[] = { "", "forward_cell, steady", "forward_block, 1024 steps, steady",
                            "forward_block_gliding, 1024 steps", "forward_block, 128 steps, steady",
                            "forward_block_gliding, 128 steps", "forward_block, portable path, steady",
                            "forward_block_gliding, portable path" };
    for (size_t i = 1; i < 8; ++i)
        std::printf ("  %-44s %7.1f  (%.1fx)\n", names[i], ns (i), plainSteady / ns (i));
    std::printf ("  (AVX2 block kernel %s on this CPU)\n",
                 Tovani::nativeGruBlockKernel() != nullptr ? "in use" : "not available");
    std::printf ("  gliding / steady block: 1024 steps %.2fx, 128 steps %.2fx\n", ns (3) / ns (2), ns (5) / ns (4));
    std::printf ("  with the hyper-network run (%.2f us): 1024 steps %.2fx, 128 steps %.2fx\n", subnetUs,
                 (ns (3) * 1024 + subnetUs * 1e3) / (ns (2) * 1024), (ns (5) * 128 + subnetUs * 1e3) / (ns (4) * 128));
}

void benchInstances()
{
    const auto firstUse = seconds ([] { sink = sink + ShippedModels::model96().outWeight (0, 0)
                                                         + ShippedModels::model192().outWeight (0, 0); });

    // What an instance wired to the shared sets copies: both hyper-networks and the kernel.
    const double copyUs = fastestSeconds (101, { []
    {
        auto a = ShippedModels::model96().subnet;
        auto b = ShippedModels::model192().subnet;
        auto k = ShippedModels::model96().causalKernel;
        sink = sink + a.inBias (0) + b.inBias (0) + k[0];
    } })[0] * 1e6;

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
    double createMs = 1e30;
    for (int i = 0; i < count; ++i)
        createMs = std::min (createMs, seconds (make) * 1e3);
    const double perInstanceMb = (residentMegabytes() - before) / count;

    // What an instance would hold if it kept both parsed models itself instead of sharing them.
    std::vector<nlohmann::json> parsed;
    const double beforeJson = residentMegabytes();
    for (int i = 0; i < count; ++i)
    {
        parsed.push_back (nlohmann::json::parse (std::string (BinaryData::model96_json, (size_t) BinaryData::model96_jsonSize)));
        parsed.push_back (nlohmann::json::parse (std::string (BinaryData::model192_json, (size_t) BinaryData::model192_jsonSize)));
    }
    const double jsonMb = (residentMegabytes() - beforeJson) / count;

    std::printf ("\nInstances\n");
    std::printf ("  shipped weight sets parsed (once per process)   %7.1f ms\n", firstUse * 1e3);
    std::printf ("  copying both hyper-networks and a kernel        %7.1f us\n", copyUs);
    std::printf ("  processor created and prepared at 48 kHz        %7.1f ms\n", createMs);
    std::printf ("  resident memory per prepared instance           %7.2f MB\n", perInstanceMb);
    std::printf ("  both parsed models, were each instance to keep them %.2f MB more\n", jsonMb);
}
} // namespace

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchSteps();
    benchInstances();
    return 0;
}
