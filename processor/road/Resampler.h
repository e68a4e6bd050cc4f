#pragma once

#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

#include <vector>

namespace road
{

/** Host rate <-> model rate, both ways, at a fixed delay.

    Each host block of n samples becomes however many model-rate samples fall inside it (the
    model rate is exact, so that count varies from block to block), and the model-rate samples
    come back as exactly n host samples through a small FIFO whose fixed pre-fill covers the
    filters' look-ahead. Both filters are started aligned on the two sample grids, so the
    whole delay is that pre-fill: a whole number of host samples.
*/
class Resampler
{
public:
    // Message thread; may allocate. hostRate in [8000, 768000], maxHostBlock in [1, 65536],
    // numChannels 1 or 2.
    void prepare (double hostRate, double modelRate, int maxHostBlock, int numChannels);
    // Silence in every history; the fixed latency is kept.
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
    // One direction: the library's fixed-ratio engine where it can express the ratio,
    // else its variable-ratio one.
    struct Converter
    {
        ::Resampler fixed;
        VResampler variable;
        bool useVariable = false;

        bool setup (double inRate, double outRate, int channels);
        void restart() noexcept;
        // Consumes all of `frames` interleaved frames; returns how many it wrote to out.
        int run (float* in, int frames, float* out, int outRoom) noexcept;
    };

    int measureLookAhead (int hostFrames);

    Converter upward, downward;
    bool passThrough = true;
    int channels = 1, maxHost = 0, maxModel = 0, latency = 0;

    // Interleaved scratch for the library, which works on interleaved frames.
    std::vector<float> hostFrames, modelFrames;
    // Interleaved host-rate output waiting to be handed out; `queued` frames of it are valid.
    std::vector<float> fifo;
    int queued = 0;
};

} // namespace road
