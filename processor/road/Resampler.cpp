#include "Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>

namespace road
{
namespace
{
// The library's largest and smallest internal transforms, as powers of two. Its bursts of output
// are a transform's length less its filter's, and the FIFOs that even them out cost delay. With
// the short filters below, 2^9 is as fast as longer transforms everywhere but at 44.1 kHz (2^10:
// 5 % less time there, 235 samples more delay); 2^8 saves up to another 250 samples but costs
// 15 to 30 % more time. The library's default smallest, 2^10, would pad the short filters out
// to long bursts again.
constexpr unsigned largestTransformLog2 = 9, smallestTransformLog2 = 8;

// Flat to here at every host rate; above 48 kHz to 0.45 x the host rate.
constexpr double audibleTop = 20000.0;

// The filter of one direction. What must stay clean is what a listener hears: the images of an
// audible tone (which would reach the network, and it mixes what it gets) and whatever folds onto
// the audible band on the way back. Both lie at or above host - 20 kHz, so the stop band starts
// there rather than at the lower rate's Nyquist: far wider transitions and far shorter filters.
// The library limits how far past the Nyquist it goes: when raising the rate, by no more than the
// pass band falls short of it; when lowering, to 1.5 x and half the Nyquist past the pass band.
// Except on the way up from 44.1 and 48 kHz: there music fills the host's band right up to its
// Nyquist, and an image let through meets its tone in the network (a 21 kHz tone at 44.1 kHz came
// back with a -51 dBc product at 18.9 kHz), so the stop band stays at the Nyquist, for the same
// time at 44.1 kHz and 1 us more at 48.
// Sixteen bits put images and aliases near -105 dBc or below, a wide margin under the -80 dBc a
// listener might hear and the network's own harmonics (about -70 dBc); twenty bits cost the same
// time and add delay.
soxr_quality_spec_t recipe (double inRate, double outRate, double hostRate)
{
    // Whole rates give exact ratios; for others the finer clock keeps the library's output
    // from drifting off the schedule the FIFOs are sized for.
    auto quality = soxr_quality_spec (SOXR_16_BITQ, SOXR_HI_PREC_CLOCK);
    const double nyquist = 0.5 * std::min (inRate, outRate);
    const double kept = (hostRate <= 48000.0 ? audibleTop : 0.45 * hostRate) / nyquist;

    // Below 44.1 kHz the audible band reaches past the host's Nyquist: the library's own band.
    if (kept > quality.passband_end)
        return quality;

    const double widest = inRate < outRate ? 2.0 - kept : std::min (kept + 0.5, 1.5);
    quality.passband_end = kept;
    const bool nearAudible = inRate < outRate && hostRate <= 48000.0;
    quality.stopband_begin = nearAudible ? 1.0 : std::clamp ((hostRate - audibleTop) / nyquist, 1.0, widest);
    return quality;
}

// Above 48 kHz the audible band ends well below the host's Nyquist and the transitions can be
// wide, and there a direct polyphase filter of 16 to 56 taps costs less than the library's
// structure (a 2x stage, transforms, and a rational stage with a division and 16 products per
// output sample, whatever the filter). One 512-sample stereo block, fastest of three or four runs
// of the builds alternating (bench "stages"), library -> direct: up 14.1 -> 11.1 us at 88.2 kHz
// and 10.2 -> 6.8 at 176.4; down 10.3 -> 4.4, 6.2 -> 3.9 and 10.3 -> 2.7 at 88.2, 96 and 176.4.
// Nor does a direct filter release its output in bursts, so its delay is the filter's own.
// 86.5 dB stop bands leave every image and alias of a -6 dBFS tone at -83 dBc or below, under the
// -80 a listener might hear. Taps come in eights for the vector kernel, and 86.5 dB is the most
// that fits the narrow transitions of 88.2 and 176.4 kHz in 56 taps, where 90 dB needs 64: the
// way up at 176.4 kHz 4.2 -> 3.8 us per 512-sample stereo block.
constexpr double stopAttenuationDb = 86.5;

// outRate / inRate in lowest terms, where both rates are whole numbers of hertz.
bool wholeRatio (double inRate, double outRate, long long& up, long long& down)
{
    const auto whole = [] (double r) { return std::abs (r - std::round (r)) < 1.0e-9 * r; };
    if (! (whole (inRate) && whole (outRate)))
        return false;

    const auto in = std::llround (inRate), out = std::llround (outRate), g = std::gcd (in, out);
    up = out / g;
    down = in / g;
    return true;
}

bool directSuits (double inRate, double outRate, double hostRate, long long& up, long long& down)
{
    const double modelRate = inRate == hostRate ? outRate : inRate;
    if (! (hostRate > 48000.0 && hostRate < modelRate && wholeRatio (inRate, outRate, up, down)))
        return false;

    // Doubling the rate, the library's own 2x stage is the cheaper (6.7 against 14.2 us).
    return up <= 1024 && ! (inRate == hostRate && up == 2 && down == 1);
}

} // namespace

void Resampler::Converter::setup (double inRate, double outRate, double hostRate, int numChannels, int maxFrames)
{
    soxr_delete (engine);
    engine = nullptr;
    channels = numChannels;

    long long l = 1, m = 1;
    direct = directSuits (inRate, outRate, hostRate, l, m);

    if (direct)
    {
        // Flat to 0.45 x the host rate. On the way up the images of everything in that band are
        // stopped, from 0.55 x the host rate: any let through would come back onto their own
        // tones on the way down (+5 dB at 0.45 x). On the way down the stop band starts at
        // host - 20 kHz, where what folds onto the audible band begins.
        const double stop = inRate == hostRate ? 0.55 * hostRate : hostRate - audibleTop;
        filter.prepare ((int) l, (int) m, inRate, 0.45 * hostRate, stop, stopAttenuationDb, numChannels, maxFrames);
        return;
    }

    const auto io = soxr_io_spec (SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const auto quality = recipe (inRate, outRate, hostRate);
    // One thread: the library must not hand work to other threads from the audio thread.
    auto runtime = soxr_runtime_spec (1);
    runtime.log2_large_dft_size = largestTransformLog2;
    runtime.log2_min_dft_size = smallestTransformLog2;
    soxr_error_t error = nullptr;
    engine = soxr_create (inRate, outRate, (unsigned) numChannels, &error, &io, &quality, &runtime);

    if (error != nullptr || engine == nullptr)
        throw std::runtime_error (std::string ("resampler: ") + soxr_strerror (error));
}

void Resampler::Converter::restart()
{
    if (direct)
        filter.reset();
    else
        soxr_clear (engine);
}

int Resampler::Converter::run (const float* const* in, int frames, float* const* out, int outRoom) noexcept
{
    if (direct)
        return filter.process (in, frames, out, outRoom);

    const float* input[2] = { in[0], in[channels - 1] };
    float* output[2] = { out[0], out[channels - 1] };
    int made = 0;

    // The library grows its internal buffers with the pieces it is given; short pieces, after
    // the warm-up at preparation, keep it from ever growing them here.
    do
    {
        size_t used = 0, done = 0;
        const int piece = std::min (frames, maxPiece);
        soxr_process (engine, input, (size_t) piece, &used, output, (size_t) (outRoom - made), &done);
        made += (int) done;
        frames -= (int) used;

        for (int c = 0; c < 2; ++c)
        {
            input[c] += used;
            output[c] += done;
        }

        if (used == 0 && done == 0)
            break;
    } while (frames > 0);

    return made;
}

void Resampler::Queue::allocate (int capacity)
{
    // Twice the capacity, so the samples move back to the front only every other fill.
    for (auto& s : samples)
        s.assign ((size_t) (2 * capacity), 0.0f);
    head = count = 0;
}

void Resampler::Queue::refill (int silentSamples) noexcept
{
    silence();
    head = 0;
    count = std::min (silentSamples, (int) samples[0].size() / 2);
}

void Resampler::Queue::silence() noexcept
{
    for (auto& s : samples)
        std::fill (s.begin(), s.end(), 0.0f);
}

float* const* Resampler::Queue::tail() noexcept
{
    for (size_t c = 0; c < 2; ++c)
        ends[c] = samples[c].data() + head + count;
    return ends.data();
}

void Resampler::Queue::pop (float* const* into, int numChannels, int n) noexcept
{
    const int ready = std::min (n, count);
    const bool rewind = head + ready >= (int) samples[0].size() / 2;

    // Never short by construction; a caller that broke the up/down pairing gets silence
    // rather than stale samples.
    for (int c = 0; c < numChannels; ++c)
    {
        auto* s = samples[(size_t) c].data();
        std::copy (s + head, s + head + ready, into[c]);
        std::fill (into[c] + ready, into[c] + n, 0.0f);

        if (rewind)
            std::memmove (s, s + head + ready, sizeof (float) * (size_t) (count - ready));
    }

    head = rewind ? 0 : head + ready;
    count -= ready;
}

// The library's bursts and buffer growth repeat with its internal blocks, which span a
// similar time at every rate.
static long long warmUpHorizon (double hostRate, double modelRate)
{
    return 16384LL * std::max (1LL, std::llround (std::max (hostRate, modelRate) / 48000.0));
}

long long Resampler::modelSamplesDue (long long hostSamples) const noexcept
{
    if (ratioUp > 0)
        return hostSamples * ratioUp / ratioDown;

    return (long long) std::floor ((double) hostSamples * ratio);
}

void Resampler::prepare (double hostRate, double modelRate, int maxHostBlock, int numChannels)
{
    channels = std::clamp (numChannels, 1, 2);
    maxHost = std::max (1, maxHostBlock);
    passThrough = std::abs (hostRate - modelRate) < 1.0e-9 * modelRate;
    hostSamplesIn = 0;

    if (passThrough)
    {
        maxModel = maxHost;
        latency = 0;
        modelQueue = {};
        hostQueue = {};
        return;
    }

    ratio = modelRate / hostRate;
    if (! wholeRatio (hostRate, modelRate, ratioUp, ratioDown))
    {
        ratioUp = 0;
        ratioDown = 1;
    }

    maxModel = (int) modelSamplesDue (maxHost) + 1;
    upward.setup (hostRate, modelRate, hostRate, channels, maxHost);
    downward.setup (modelRate, hostRate, hostRate, channels, maxModel);
    plan (hostRate, modelRate);

    upward.restart();
    downward.restart();
    modelQueue.refill (modelLead);
    hostQueue.refill (hostLead);
    silentHost.assign ((size_t) maxHost, 0.0f);
    spareModel.assign ((size_t) maxModel, 0.0f);
    spareHost.assign ((size_t) maxHost, 0.0f);

    // The library grows its internal buffers during its first few thousand samples; growing
    // them here keeps the audio thread free of allocation.
    runSilence ((int) std::max<long long> (4LL * maxHost, 2 * warmUpHorizon (hostRate, modelRate)));
    reset();
}

void Resampler::runSilence (int hostSamples) noexcept
{
    const float* in[2] = { silentHost.data(), silentHost.data() };
    float* model[2] = { spareModel.data(), spareModel.data() };
    const float* modelIn[2] = { spareModel.data(), spareModel.data() };
    float* out[2] = { spareHost.data(), spareHost.data() };

    // Irregular lengths, as a host may give, up to the longest block.
    for (int done = 0, k = 0; done < hostSamples; ++k)
    {
        const int n = std::min (hostSamples - done, k % 2 == 0 ? maxHost : 1 + (k * 7919) % maxHost);
        const int m = up (in, n, model);
        down (modelIn, m, out, n);
        done += n;
    }
}

void Resampler::plan (double hostRate, double modelRate)
{
    // The bursts repeat with the library's blocks; a long run of single host samples meets
    // every state a block boundary can fall on.
    const long long horizon = warmUpHorizon (hostRate, modelRate);
    const int room = 1 << 16;
    std::vector<float> scratch ((size_t) room * 4);
    float* modelOut[2] = { scratch.data(), scratch.data() + room };
    float* hostOut[2] = { scratch.data() + 2 * room, scratch.data() + 3 * room };
    const float* modelIn[2] = { modelOut[0], modelOut[1] };
    float silence[1] {};
    const float* hostIn[2] = { silence, silence };

    // Upward: how far the library's output falls behind the locked schedule, and how far
    // its bursts run ahead of it.
    upward.restart();
    long long made = 0, behind = 0, ahead = 0;

    for (long long t = 1; t <= horizon; ++t)
    {
        made += upward.run (hostIn, 1, modelOut, room);
        behind = std::max (behind, modelSamplesDue (t) - made);
        ahead = std::max (ahead, made - modelSamplesDue (t));
    }

    // A lead of whole periods of the two grids keeps the delay a whole number of host samples.
    modelLead = (int) behind;
    if (ratioUp > 0 && ratioUp <= 4096)
        modelLead = (int) ((behind + ratioUp - 1) / ratioUp * ratioUp);
    modelQueue.allocate (modelLead + (int) ahead + maxModel + 16);

    // Downward, fed on the locked schedule.
    downward.restart();
    long long back = 0, hostBehind = 0, hostAhead = 0;

    for (long long t = 1; t <= horizon; ++t)
    {
        const int m = (int) (modelSamplesDue (t) - modelSamplesDue (t - 1));
        back += downward.run (modelIn, m, hostOut, room);
        hostBehind = std::max (hostBehind, t - back);
        hostAhead = std::max (hostAhead, back - t);
    }

    hostLead = (int) hostBehind;
    hostQueue.allocate (hostLead + (int) hostAhead + maxHost + 16);

    latency = hostLead + (int) (ratioUp > 0 ? std::llround ((double) modelLead * (double) ratioDown / (double) ratioUp)
                                            : std::llround (modelLead / ratio));
}

void Resampler::reset() noexcept
{
    if (passThrough)
        return;

    // Silence through both directions until no history holds anything else, on the same
    // schedule as the signal, so the delay stays what it was; then the FIFOs are silenced.
    runSilence (2 * latency + 2 * maxHost + 1024);
    modelQueue.silence();
    hostQueue.silence();
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

    modelQueue.count += upward.run (input, n, modelQueue.tail(), modelQueue.room());

    const long long before = hostSamplesIn;
    hostSamplesIn += n;
    const int m = (int) (modelSamplesDue (hostSamplesIn) - modelSamplesDue (before));

    // Whole periods of the two grids change nothing in the schedule; dropping them keeps the
    // count small for ever.
    if (ratioUp > 0 && hostSamplesIn >= ratioDown)
        hostSamplesIn %= ratioDown;

    modelQueue.pop (model, channels, m);
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

    hostQueue.count += downward.run (model, std::clamp (M, 0, maxModel), hostQueue.tail(), hostQueue.room());
    hostQueue.pop (output, channels, n);
}

} // namespace road
