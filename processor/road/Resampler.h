#pragma once

#include <soxr.h>

#include <array>
#include <vector>

namespace road
{

/** Host rate <-> model rate, both ways, at a fixed delay of whole host samples.

    The model rate is exact, so a host block of n samples becomes the floor or the ceiling of
    n * model / host model-rate samples: the model grid stays locked to the host grid. The
    model-rate samples come back as exactly n host samples.

    The engine is libsoxr, which keeps its output aligned with its input (the filters' delay
    is trimmed), but releases it in bursts of up to a thousand samples as its internal
    blocks complete. Two FIFOs with fixed leading silence turn the bursts into the locked
    schedule on the way up and into exactly n samples on the way down; the leading silence
    is found at preparation by running the exact feed pattern, and is rounded so that the
    whole delay is a whole number of host samples.

    Measured on this project's build machine (bench/ResamplerBench.cpp, median us for one
    512-sample stereo block up and back down, shared machine, +-20 %):

        host Hz   soxr HQ   soxr MQ   soxr LQ   zita-resampler (hlen 32)   JUCE half-band FIR
        44100       22        19        23              53                         -
        48000       10        10         9              57                        72
        96000       10        10        10              48                        73
        192000     pass through

    Only libsoxr fits the budget (about 10 us at 48 kHz, 20 us at 44.1 kHz). Its high-quality
    recipe costs no more than the lower ones here and gives, through an identity model
    stage, a response within 0.02 dB from 20 Hz to 20 kHz at 44.1 kHz and images and aliases
    below -135 dBc; zita-resampler, the only other library with a fixed delay, needs 32 taps
    a side for -93 dBc and is five times the cost. The price is delay: libsoxr's blocks make
    the whole delay about 1760 samples at 44.1 and 48 kHz. Smaller blocks
    (runtime log2_large_dft_size 10) halve that at twice the cost.
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

        void setup (double inRate, double outRate, int channels);
        void restart();
        // Consumes all `frames` frames; returns how many it wrote to out (at most outRoom).
        int run (const float* const* in, int frames, float* const* out, int outRoom) noexcept;

        soxr_t engine = nullptr;
        int channels = 1;
        static constexpr int maxPiece = 128;
    };

    // Per-channel FIFO of fixed capacity.
    struct Queue
    {
        std::array<std::vector<float>, 2> samples;
        std::array<float*, 2> ends {};
        int count = 0;

        void allocate (int capacity);
        void refill (int silentSamples) noexcept;
        void silence() noexcept;
        int room() const noexcept { return (int) samples[0].size() - count; }
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
