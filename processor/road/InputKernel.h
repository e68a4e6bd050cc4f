#pragma once

#include <memory>
#include <vector>

/** The model's 2048-tap input FIR, run in the cheapest form that still gives the direct
    convolution's output with no latency.

    The kernel is looked at once, in prepare: a unit impulse at the zero-delay tap is left out
    altogether (the output is the input, bit for bit); a kernel whose non-zero taps span at most
    `maxDirectSpan` samples runs as a direct-form FIR over that span only; anything longer runs
    as a uniformly partitioned FFT convolution that produces every output sample in the call
    whose input it belongs to.
*/
class InputKernel
{
public:
    enum class Form
    {
        passthrough,
        direct,
        partitioned
    };

    static constexpr int maxDirectSpan = 64;

    InputKernel();
    ~InputKernel();
    InputKernel (const InputKernel&) = delete;
    InputKernel& operator= (const InputKernel&) = delete;

    /** Message thread; may allocate. impulseResponse[0] is the zero-delay tap. maxBlock is the
        length of the calls to come, which sets the partition length; calls of any length work. */
    void prepare (const float* impulseResponse, int length, int maxBlock, int numChannels);

    /** Clears every channel's history. */
    void reset() noexcept;

    /** In place; channels beyond the prepared count are left as they are. */
    void process (float* const* channels, int numChannels, int n) noexcept;

    Form form() const noexcept { return currentForm; }
    int partitionSize() const noexcept { return partition; }

private:
    struct FftState;
    struct DirectChannel
    {
        std::vector<float> line;   // [the last `lastTap` inputs | the current chunk]
        std::vector<float> sum;
    };

    Form currentForm = Form::passthrough;
    int numPrepared = 0;

    // Direct form: taps firstTap .. lastTap of the impulse response.
    static constexpr int directChunk = 256;
    std::vector<float> directTaps;
    int firstTap = 0, lastTap = 0;
    std::vector<DirectChannel> direct;

    // Partitioned form.
    int partition = 0;
    std::unique_ptr<FftState> fft;

    void processDirect (DirectChannel&, float* x, int n) noexcept;
};
