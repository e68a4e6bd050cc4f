#pragma once

#include <soxr.h>

#include <array>
#include <vector>

namespace road
{

/** Host rate <-> model rate, both ways, at a fixed delay of whole host samples.

    The model rate is exact, so a host block of n samples becomes the floor or the ceiling of
    n * model / host model-rate samples: the model grid stays locked to the host grid and the
    network's work per block stays even. The model-rate samples come back as exactly n host
    samples.

    The engine is libsoxr. It keeps its output aligned with its input (its filters' delay is
    trimmed) but releases it in bursts of up to a thousand samples as its internal transforms
    complete. Two FIFOs with fixed leading silence turn the bursts into the locked schedule on
    the way up and into exactly n samples on the way down; the silence is found at preparation
    by running the library on the same schedule, and the model side's is a whole number of
    periods of the two grids, so the delay is a whole number of host samples.

    Why libsoxr: one 512-sample stereo block up and back down, median us on this project's
    build machine (bench/ResamplerBench.cpp; shared machine, +-20 %):

        host Hz   this stage   soxr HQ   soxr MQ   soxr LQ   zita 32   zita 16   JUCE 2x FIR
        44100         22.6        21.0      19.4      23.4      52        34          -
        48000         11.1         9.9       9.6       8.7      46        31         78
        96000         11.1        10.0       9.7       8.5      46        31         78
        192000         0.1 (passes through)

    zita-resampler (fixed delay, real-time safe) needs 40 taps a side at 44.1 kHz for a flat
    20 kHz and images below -90 dBc (32 taps: -1.8 dB at 20 kHz), at over five times
    libsoxr's cost; the framework's half-band oversampler costs more still and fits only 2x.
    libsoxr's high-quality recipe costs no more than its lower ones here and measures, through
    an identity model stage: within 0.02 dB from 20 Hz to 20 kHz at 44.1 and 48 kHz (to 0.45 x
    the host rate above), images out of up() and aliases out of down() below -135 dBc at 44.1,
    48, 88.2, 96 and 176.4 kHz. Its
    price is delay (latencySamples()): 812 at 44.1, 88.2 and 176.4 kHz, 828 at 48 and 96 kHz, 0 at
    192 kHz, with the transform size chosen in the source (largestTransformLog2), which halves
    the delay of the library's default for about 17 % more time than the figures above.
*/
class Resampler
{
public:
    Resampler() = default;
    Resampler (const Resampler&) = delete;
    Resampler& operator= (const Resampler&) = delete;

    // Message thread; may allocate. hostRate in [8000, 768000], maxHostBlock in [1, 65536],
    // numChannels 1 or 2.
    void prepare (double hostRate, double modelRate, int maxHostBlock, int numChannels);
    // Silence in every history; the fixed latency is kept. Costs as much as converting about
    // twice the latency in host samples.
    void reset() noexcept;
    // Bound on what up() returns for any n <= maxHostBlock.
    int maxModelSamples() const noexcept { return maxModel; }
    // n host samples per channel in, M model-rate samples per channel out; returns M.
    int up (const float* const* input, int n, float* const* model) noexcept;
    // The M model-rate samples of this block in, exactly n host samples per channel out.
    void down (const float* const* model, int M, float* const* output, int n) noexcept;
    // Whole up->down delay in host samples for an identity model stage.
    int latencySamples() const noexcept { return latency; }

private:
    // One direction of the conversion.
    struct Converter
    {
        Converter() = default;
        Converter (const Converter&) = delete;
        Converter& operator= (const Converter&) = delete;
        ~Converter() { soxr_delete (engine); }

        void setup (double inRate, double outRate, double hostRate, int channels);
        void restart();
        // Consumes all `frames` frames; returns how many it wrote to out (at most outRoom).
        int run (const float* const* in, int frames, float* const* out, int outRoom) noexcept;

        soxr_t engine = nullptr;
        int channels = 1;
        static constexpr int maxPiece = 128;
    };

    // Per-channel FIFO of fixed capacity; `count` samples from `head` on are waiting.
    struct Queue
    {
        std::array<std::vector<float>, 2> samples;
        std::array<float*, 2> ends {};
        int head = 0, count = 0;

        void allocate (int capacity);
        void refill (int silentSamples) noexcept;
        void silence() noexcept;
        int room() const noexcept { return (int) samples[0].size() - head - count; }
        float* const* tail() noexcept;
        void pop (float* const* into, int channels, int n) noexcept;
    };

    long long modelSamplesDue (long long hostSamples) const noexcept;
    void plan (double hostRate, double modelRate);
    void runSilence (int hostSamples) noexcept;

    Converter upward, downward;
    bool passThrough = true;
    int channels = 1, maxHost = 0, maxModel = 0, latency = 0;
    // The ratio as whole numbers where both rates are whole, else as a double.
    long long ratioUp = 0, ratioDown = 1;
    double ratio = 1.0;
    int modelLead = 0, hostLead = 0;
    long long hostSamplesIn = 0;
    Queue modelQueue, hostQueue;
    std::vector<float> silentHost, spareModel, spareHost;
};

} // namespace road
