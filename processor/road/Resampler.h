#pragma once

#include "PolyphaseFilter.h"

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

    Two engines. Up to 48 kHz, and for doubling the rate, libsoxr: it keeps its output aligned
    with its input (its filters' delay is trimmed) but releases it in bursts of a few hundred
    samples as its internal transforms complete. Above 48 kHz otherwise, a direct polyphase
    filter (Kaiser windowed, 16 to 56 taps, on the widest vectors the CPU has), aligned the same
    way and releasing each sample as soon as its taps are in. Two FIFOs with fixed leading
    silence turn either into the locked schedule on the way up and into exactly n samples on the
    way down; the silence is found at preparation by running the engines on the same schedule,
    and the model side's is a whole number of periods of the two grids, so the delay is a whole
    number of host samples.

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

    The filters keep what a listener hears clean, and no more: flat to 20 kHz (0.45 x the host
    rate above 48 kHz); images of that band stopped on the way up (any let through would also
    come back onto their own tones on the way down); on the way down a stop band from host -
    20 kHz, where what folds onto the audible band begins; stop bands of 90 to 100 dB. Above
    48 kHz that leaves transitions wide enough for short direct filters, which cost less than the
    library's structure (a 2x stage, transforms, and a rational stage with a division and 16
    products per output sample, whatever the filter). Against the library's high-quality recipe
    with the Nyquist as stop band (bench "stages", input + output resampling, fastest of several
    runs of the builds alternating), and through an identity model stage with tones at -6 dBFS:

        host Hz   engine        us a block    delay        flat to 20 kHz   worst image / alias /
                  (up, down)    HQ -> this    HQ -> this   (0.45 x host)    product, dBc
        44100     soxr, soxr    28.5 -> 18.9  812 -> 640   -0.013 dB        -112 / -112 / -113
        48000     soxr, soxr    15.9 -> 11.9  828 -> 450   -0.000 dB        -117 / -110 / -139
        88200     direct        28.4 -> 15.5  812 -> 156   +-0.0003 dB      -106 /  -92 / -105
        96000     soxr, direct  15.9 -> 10.5  828 -> 231   +0.0006 dB       -115 /  -87 / -146
        176400    direct        23.6 ->  9.5  812 -> 155   +-0.0007 dB      -107 / -111 /  -95
        192000    passes through, no delay

    (image: the largest component of up()'s output other than a tone of 20 Hz to 20 kHz; alias:
    the largest component in 20 Hz-20 kHz of down()'s output for a model-rate tone above the
    host's Nyquist; product: the same after up() and down().) The delay is latencySamples().
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

        // In place of the library where it costs less.
        bool direct = false;
        PolyphaseFilter filter;
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
