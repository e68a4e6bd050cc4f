#include "Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace road
{
namespace
{
#ifndef LUMBRANE_RESAMPLER_HLEN
#define LUMBRANE_RESAMPLER_HLEN 32
#endif
#ifndef LUMBRANE_RESAMPLER_FREL
#define LUMBRANE_RESAMPLER_FREL 0.94
#endif
constexpr unsigned halfLength = LUMBRANE_RESAMPLER_HLEN;
constexpr double relativeCutoff = LUMBRANE_RESAMPLER_FREL;

bool isWholeRate (double rate) { return std::abs (rate - std::round (rate)) < 1.0e-9 * rate; }
} // namespace

bool Resampler::Converter::setup (double inRate, double outRate, int numChannels)
{
    useVariable = ! (isWholeRate (inRate) && isWholeRate (outRate))
               || fixed.setup ((unsigned) std::lround (inRate), (unsigned) std::lround (outRate),
                               (unsigned) numChannels, halfLength, relativeCutoff) != 0;

    if (useVariable)
    {
        fixed.clear();
        return variable.setup (outRate / inRate, (unsigned) numChannels, halfLength, relativeCutoff) == 0;
    }

    variable.clear();
    return true;
}

void Resampler::Converter::restart() noexcept
{
    // Half a filter of silence first puts the first output exactly on the first input.
    float none[2] {};

    if (useVariable)
    {
        variable.reset();
        variable.inp_count = (unsigned) (variable.inpsize() / 2 - 1);
        variable.inp_data = nullptr;
        variable.out_count = 1;
        variable.out_data = none;
        variable.process();
    }
    else
    {
        fixed.reset();
        fixed.inp_count = (unsigned) (fixed.inpsize() / 2 - 1);
        fixed.inp_data = nullptr;
        fixed.out_count = 1;
        fixed.out_data = none;
        fixed.process();
    }
}

int Resampler::Converter::run (float* in, int frames, float* out, int outRoom) noexcept
{
    if (useVariable)
    {
        variable.inp_count = (unsigned) frames;
        variable.inp_data = in;
        variable.out_count = (unsigned) outRoom;
        variable.out_data = out;
        variable.process();
        return outRoom - (int) variable.out_count;
    }

    fixed.inp_count = (unsigned) frames;
    fixed.inp_data = in;
    fixed.out_count = (unsigned) outRoom;
    fixed.out_data = out;
    fixed.process();
    return outRoom - (int) fixed.out_count;
}

void Resampler::prepare (double hostRate, double modelRate, int maxHostBlock, int numChannels)
{
    channels = std::clamp (numChannels, 1, 2);
    maxHost = std::max (1, maxHostBlock);
    passThrough = std::abs (hostRate - modelRate) < 1.0e-9 * modelRate;

    if (passThrough)
    {
        maxModel = maxHost;
        latency = 0;
        hostFrames = {};
        modelFrames = {};
        fifo = {};
        return;
    }

    upward.setup (hostRate, modelRate, channels);
    downward.setup (modelRate, hostRate, channels);

    // Whole model samples in any stretch of n host samples, plus one for where the stretch
    // starts against the model grid and one for the variable engine's rounding.
    maxModel = (int) std::ceil (maxHost * modelRate / hostRate) + 2;
    hostFrames.assign ((size_t) (maxHost * channels), 0.0f);
    modelFrames.assign ((size_t) (maxModel * channels), 0.0f);

    // How far the two filters' look-ahead leaves the output behind the input, at its worst over
    // every stretch of input lengths; the pattern repeats with the ratio's period.
    latency = measureLookAhead (std::max (4096, 8 * (int) std::ceil (hostRate / 1000.0)));
    fifo.assign ((size_t) ((latency + maxHost + 4) * channels), 0.0f);
    reset();
}

int Resampler::measureLookAhead (int hostSamples)
{
    upward.restart();
    downward.restart();

    int produced = 0, worst = 0;
    float silence[2] {};
    std::vector<float> hostOut ((size_t) (8 * channels));

    for (int t = 1; t <= hostSamples; ++t)
    {
        const int m = upward.run (silence, 1, modelFrames.data(), maxModel);
        produced += downward.run (modelFrames.data(), m, hostOut.data(), 8);
        worst = std::max (worst, t - produced);
    }

    return worst + (upward.useVariable || downward.useVariable ? 2 : 0);
}

void Resampler::reset() noexcept
{
    if (passThrough)
        return;

    upward.restart();
    downward.restart();
    std::fill (fifo.begin(), fifo.end(), 0.0f);
    queued = latency;
}

int Resampler::up (const float* const* input, int n, float* const* model) noexcept
{
    n = std::clamp (n, 0, maxHost);

    if (passThrough)
    {
        for (int c = 0; c < channels; ++c)
            if (model[c] != input[c])
                std::memmove (model[c], input[c], sizeof (float) * (size_t) n);
        return n;
    }

    float* in = hostFrames.data();

    if (channels == 1)
        std::memcpy (in, input[0], sizeof (float) * (size_t) n);
    else
        for (int i = 0; i < n; ++i)
        {
            in[2 * i] = input[0][i];
            in[2 * i + 1] = input[1][i];
        }

    const int m = upward.run (in, n, modelFrames.data(), maxModel);
    const float* out = modelFrames.data();

    if (channels == 1)
        std::memcpy (model[0], out, sizeof (float) * (size_t) m);
    else
        for (int i = 0; i < m; ++i)
        {
            model[0][i] = out[2 * i];
            model[1][i] = out[2 * i + 1];
        }

    return m;
}

void Resampler::down (const float* const* model, int M, float* const* output, int n) noexcept
{
    n = std::clamp (n, 0, maxHost);

    if (passThrough)
    {
        for (int c = 0; c < channels; ++c)
            if (output[c] != model[c])
                std::memmove (output[c], model[c], sizeof (float) * (size_t) n);
        return;
    }

    M = std::clamp (M, 0, maxModel);
    float* in = modelFrames.data();

    if (channels == 1)
        std::memcpy (in, model[0], sizeof (float) * (size_t) M);
    else
        for (int i = 0; i < M; ++i)
        {
            in[2 * i] = model[0][i];
            in[2 * i + 1] = model[1][i];
        }

    const int room = (int) fifo.size() / channels - queued;
    queued += downward.run (in, M, fifo.data() + queued * channels, room);

    // Never short by construction; a caller that broke the up/down pairing gets silence
    // rather than stale samples.
    const int ready = std::min (n, queued);
    const float* out = fifo.data();

    for (int c = 0; c < channels; ++c)
    {
        for (int i = 0; i < ready; ++i)
            output[c][i] = out[i * channels + c];
        std::fill (output[c] + ready, output[c] + n, 0.0f);
    }

    queued -= ready;
    std::memmove (fifo.data(), fifo.data() + ready * channels, sizeof (float) * (size_t) (queued * channels));
}

} // namespace road
