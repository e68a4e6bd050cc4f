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
    trimmed) but releases it in bursts of a few hundred samples as its internal transforms
    complete. Two FIFOs with fixed leading silence turn the bursts into the locked schedule on
    the way up and into exactly n samples on the way down; the silence is found at preparation
    by running the library on the same schedule, and the model side's is a whole number of
    periods of the two grids, so the delay is a whole number of host samples.

    Why libsoxr: one 512-sample stereo block up and back down, median us on this project's
    build machine (bench/ResamplerBench.cpp, the library's recipes with its default transforms;
    shared machine, +-20 %):

        host Hz   soxr HQ   soxr MQ   soxr LQ   zita 32   zita 16   JUCE 2x FIR
        44100       21.0      19.4      23.4      52        34          -
        48000        9.9       9.6       8.7      46        31         78
        96000       10.0       9.7       8.5      46        31         78

    zita-resampler (fixed delay, real-time safe) needs 40 taps a side at 44.1 kHz for a flat
    20 kHz and images below -90 dBc (32 taps: -1.8 dB at 20 kHz), at over five times
    libsoxr's cost; the framework's half-band oversampler costs more still and fits only 2x.

    The filters (recipe() in the source) keep what a listener hears clean, and no more: flat to
    20 kHz (0.45 x the host rate above 48 kHz), a stop band from where the images of an audible
    tone and the aliases onto the audible band begin (host - 20 kHz, as far as the library
    allows; on the way up from 44.1 and 48 kHz the host's Nyquist), 16-bit stop bands, and
    short transforms. Against the library's high-quality recipe with the Nyquist as stop band
    (the two interleaved on the same machine, fastest of 300 runs of 50 stereo blocks of 512), and
    through an identity model stage with tones at -6 dBFS:

        host Hz   us a block     delay        flat to 20 kHz    worst image / alias / product
                  HQ -> this     HQ -> this   (0.45 x host)     in 20 Hz-20 kHz, dBc
        44100     25.3 -> 23.2   812 -> 640   -0.013 dB         -112 / -112 / -113
        48000     13.0 -> 12.5   828 -> 450   -0.000 dB         -117 / -110 / -139
        88200     25.3 -> 22.4   812 -> 400   -0.010 dB         -114 / -118 / -123
        96000     13.0 -> 12.1   828 -> 334   -0.000 dB         -115 / -114 / -145
        176400    21.3 -> 19.1   812 -> 400   -0.010 dB         -115 / -133 / -124
        192000     0.1 (passes through, no delay)

    (image: the largest component of up()'s output other than a tone of 20 Hz to 20 kHz; alias:
    the largest component in 20 Hz-20 kHz of down()'s output for a model-rate tone above the
    host's Nyquist; product: the same after up() and down().) The delay is latencySamples(). The
    time barely follows the filters' length: at 44.1, 88.2 and 176.4 kHz about 40 % of it is
    the library's rational polyphase stage (a division and 16 products per output sample,
    whatever the filter), and at the 2x ratios its transforms of a few hundred points.
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

        // maxFrames: the most frames one run() is given.
        void setup (double inRate, double outRate, double hostRate, int channels, int maxFrames);
        void restart();
        // Consumes all `frames` frames; returns how many it wrote to out (at most outRoom).
        int run (const float* const* in, int frames, float* const* out, int outRoom) noexcept;

        soxr_t engine = nullptr;
        int channels = 1;
        static constexpr int maxPiece = 128;

        // The direct polyphase filter, where one is used instead of the library: output k
        // lies at k * down / up input samples; the next output's taps start at `start` in
        // `history`, which holds `count` samples.
        bool direct = false;
        bool wide = false;
        int up = 1, down = 1, taps = 0, phase = 0, start = 0, count = 0;
        std::vector<float> coefficients; // `up` rows of `taps`, one per phase
        std::array<std::vector<float>, 2> history;
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
