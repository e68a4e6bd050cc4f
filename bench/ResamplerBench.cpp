// Cost of the resampling candidates: one 512-sample stereo block up to the model rate and back
// down, median microseconds over repeated runs, single-threaded. Prints figures; never fails.
#include "processor/road/Resampler.h"

#include <juce_dsp/juce_dsp.h>
#include <soxr.h>
#include <zita-resampler/resampler.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{
constexpr int block = 512;

double medianMicroseconds (const std::function<void()>& run)
{
    for (int i = 0; i < 200; ++i)
        run();

    std::vector<double> runs;
    for (int r = 0; r < 31; ++r)
    {
        constexpr int blocks = 200;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < blocks; ++i)
            run();
        runs.push_back (std::chrono::duration<double, std::micro> (std::chrono::steady_clock::now() - start).count() / blocks);
    }
    std::nth_element (runs.begin(), runs.begin() + 15, runs.end());
    return runs[15];
}

struct Signal
{
    std::vector<float> left, right, modelLeft, modelRight, outLeft, outRight;
    explicit Signal (int modelRoom)
        : left (block), right (block), modelLeft ((size_t) modelRoom), modelRight ((size_t) modelRoom),
          outLeft (block), outRight (block)
    {
        for (int i = 0; i < block; ++i)
        {
            left[(size_t) i] = 0.5f * std::sin (0.05f * (float) i);
            right[(size_t) i] = 0.5f * std::cos (0.031f * (float) i);
        }
    }
};

double stageCost (double host, double model)
{
    road::Resampler resampler;
    resampler.prepare (host, model, block, 2);
    Signal s (resampler.maxModelSamples());
    const float* in[] = { s.left.data(), s.right.data() };
    float* mid[] = { s.modelLeft.data(), s.modelRight.data() };
    const float* midIn[] = { s.modelLeft.data(), s.modelRight.data() };
    float* out[] = { s.outLeft.data(), s.outRight.data() };
    return medianMicroseconds ([&] {
        const int m = resampler.up (in, block, mid);
        resampler.down (midIn, m, out, block);
    });
}

// zita-resampler works on interleaved frames; the interleaving is part of its cost here.
double zitaCost (double host, double model, unsigned halfLength)
{
    ::Resampler upward, downward;
    if (upward.setup ((unsigned) host, (unsigned) model, 2, halfLength) != 0
        || downward.setup ((unsigned) model, (unsigned) host, 2, halfLength) != 0)
        return -1.0;

    Signal s ((int) std::ceil (block * model / host) + 4);
    std::vector<float> hostFrames (2 * block), modelFrames (2 * s.modelLeft.size()), backFrames (2 * block + 64);
    return medianMicroseconds ([&] {
        for (int i = 0; i < block; ++i)
        {
            hostFrames[(size_t) (2 * i)] = s.left[(size_t) i];
            hostFrames[(size_t) (2 * i + 1)] = s.right[(size_t) i];
        }
        upward.inp_count = block;
        upward.inp_data = hostFrames.data();
        upward.out_count = (unsigned) s.modelLeft.size();
        upward.out_data = modelFrames.data();
        upward.process();
        downward.inp_count = (unsigned) s.modelLeft.size() - upward.out_count;
        downward.inp_data = modelFrames.data();
        downward.out_count = block + 32;
        downward.out_data = backFrames.data();
        downward.process();
        for (int i = 0; i < block; ++i)
        {
            s.outLeft[(size_t) i] = backFrames[(size_t) (2 * i)];
            s.outRight[(size_t) i] = backFrames[(size_t) (2 * i + 1)];
        }
    });
}

double soxrCost (double host, double model, unsigned long recipe)
{
    const auto io = soxr_io_spec (SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const auto quality = soxr_quality_spec (recipe, 0);
    soxr_error_t error = nullptr;
    auto upward = soxr_create (host, model, 2, &error, &io, &quality, nullptr);
    auto downward = soxr_create (model, host, 2, &error, &io, &quality, nullptr);
    if (error != nullptr)
        return -1.0;

    Signal s ((int) std::ceil (block * model / host) + 64);
    std::vector<float> fifoL (8192), fifoR (8192);
    const float* in[] = { s.left.data(), s.right.data() };
    float* mid[] = { s.modelLeft.data(), s.modelRight.data() };
    const float* midIn[] = { s.modelLeft.data(), s.modelRight.data() };
    float* out[] = { fifoL.data(), fifoR.data() };
    const auto cost = medianMicroseconds ([&] {
        size_t done = 0, made = 0, back = 0;
        soxr_process (upward, in, block, &done, mid, s.modelLeft.size(), &made);
        soxr_process (downward, midIn, made, &done, out, fifoL.size(), &back);
    });
    soxr_delete (upward);
    soxr_delete (downward);
    return cost;
}

double halfBandCost (double host)
{
    juce::dsp::Oversampling<float> oversampling (2, 1, juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple, true, true);
    oversampling.initProcessing (block);
    juce::AudioBuffer<float> buffer (2, block);
    for (int i = 0; i < block; ++i)
        buffer.setSample (0, i, 0.5f * std::sin (0.05f * (float) i));
    (void) host;
    return medianMicroseconds ([&] {
        juce::dsp::AudioBlock<float> audio (buffer);
        auto up = oversampling.processSamplesUp (audio);
        juce::ignoreUnused (up);
        oversampling.processSamplesDown (audio);
    });
}
} // namespace

int main()
{
    std::printf ("Resampling, one %d-sample stereo block up to the model rate and back, median us\n", block);
    std::printf ("%9s %8s %8s %8s %8s %8s %8s %8s %10s\n", "host Hz", "stage", "latency", "soxr HQ", "soxr MQ", "soxr LQ",
                 "zita 32", "zita 16", "JUCE 2x");

    for (double host : { 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 })
    {
        const double model = host <= 48000.0 ? 96000.0 : 192000.0;
        road::Resampler probe;
        probe.prepare (host, model, block, 2);
        std::printf ("%9.0f %8.2f %8d %8.2f %8.2f %8.2f %8.2f %8.2f", host, stageCost (host, model), probe.latencySamples(),
                     soxrCost (host, model, SOXR_HQ), soxrCost (host, model, SOXR_MQ), soxrCost (host, model, SOXR_LQ),
                     host == model ? 0.0 : zitaCost (host, model, 32), host == model ? 0.0 : zitaCost (host, model, 16));
        if (model == 2.0 * host)
            std::printf (" %10.2f\n", halfBandCost (host));
        else
            std::printf (" %10s\n", "-");
    }
}
