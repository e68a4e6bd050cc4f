#include "InputKernel.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <mutex>

// The long form's transforms are FFTW's single-precision real FFTs. Measured on this project's
// build machine for one 2048-point real forward and inverse pair (lumbrane_stage_bench): FFTW
// 4.5 us, Eigen's FFT (kissfft underneath) 30 us, JUCE's fallback FFT (what
// juce::dsp::Convolution runs on Linux) 68 us. Plans are estimated, not measured: measuring
// took over a second per size here for no steady gain, and preparation may run on the audio
// thread when the block length changes.

namespace
{
// FFTW's planner keeps global state: plans are made and destroyed one at a time. Executing a
// plan on new arrays is thread-safe and needs no lock.
std::mutex& plannerLock()
{
    static std::mutex lock;
    return lock;
}

struct FftwFree
{
    void operator() (void* p) const noexcept { fftwf_free (p); }
};

using RealArray = std::unique_ptr<float[], FftwFree>;
using ComplexArray = std::unique_ptr<fftwf_complex[], FftwFree>;

RealArray realArray (size_t n)
{
    RealArray a (fftwf_alloc_real (n));
    std::fill (a.get(), a.get() + n, 0.0f);
    return a;
}

ComplexArray complexArray (size_t n)
{
    ComplexArray a (fftwf_alloc_complex (n));
    std::memset (a.get(), 0, sizeof (fftwf_complex) * n);
    return a;
}

int ceilPowerOfTwo (int v)
{
    int p = 1;
    while (p < v)
        p *= 2;
    return p;
}

// Spectra are FFTW's interleaved (re, im) pairs; a kernel spectrum is kept as two arrays laid out
// to meet them, (re, re) and (-im, im) per bin, so a complex product is two plain products and
// a swap of neighbours, which the compiler vectorises (3x faster here than the textbook loop).

/** out = a * h */
void multiply (float* __restrict out, const float* __restrict a, const float* __restrict hr, const float* __restrict hi, int bins) noexcept
{
    for (int k = 0; k < 2 * bins; k += 2)
    {
        out[k] = a[k] * hr[k] + a[k + 1] * hi[k];
        out[k + 1] = a[k + 1] * hr[k + 1] + a[k] * hi[k + 1];
    }
}

/** out += a * h */
void accumulate (float* __restrict out, const float* __restrict a, const float* __restrict hr, const float* __restrict hi, int bins) noexcept
{
    for (int k = 0; k < 2 * bins; k += 2)
    {
        out[k] += a[k] * hr[k] + a[k + 1] * hi[k];
        out[k + 1] += a[k + 1] * hr[k + 1] + a[k] * hi[k + 1];
    }
}

/** out = add + a * h */
void multiplyAdd (float* __restrict out, const float* __restrict a, const float* __restrict hr, const float* __restrict hi,
                  const float* __restrict add, int bins) noexcept
{
    for (int k = 0; k < 2 * bins; k += 2)
    {
        out[k] = add[k] + a[k] * hr[k] + a[k + 1] * hi[k];
        out[k + 1] = add[k + 1] + a[k + 1] * hr[k + 1] + a[k] * hi[k + 1];
    }
}

float* floats (fftwf_complex* c) noexcept { return reinterpret_cast<float*> (c); }
} // namespace

/** Overlap-save over partitions of B samples with transforms of 2B. A channel's window holds the
    previous frame and the frame being filled (zeros past what has arrived); the spectra of the
    last P - 1 complete windows, times the later partitions, are summed once per frame, so a call
    costs one forward and one inverse transform per frame it touches. */
struct InputKernel::FftState
{
    int size = 0;       // transform length, 2B
    int bins = 0;       // B + 1
    int stride = 0;     // bins rounded up so every spectrum keeps the planned alignment
    int partitions = 0;
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;
    RealArray kernel;   // per partition: (re, re) then (-im, im) pairs, 2 * stride floats each, scaled by 1 / size

    const float* kernelReal (int j) const noexcept { return kernel.get() + 4 * stride * j; }
    const float* kernelImag (int j) const noexcept { return kernel.get() + 4 * stride * j + 2 * stride; }

    struct Channel
    {
        RealArray window;     // 2B
        RealArray result;     // 2B
        ComplexArray past;    // max (P - 1, 1) spectra, a ring; the slot at `head` is written next
        ComplexArray sum;     // the earlier windows' share of the current frame
        ComplexArray product;
        int head = 0;
        int fill = 0;
    };
    std::vector<Channel> channels;

    ~FftState()
    {
        std::lock_guard<std::mutex> guard (plannerLock());
        if (forward != nullptr)
            fftwf_destroy_plan (forward);
        if (inverse != nullptr)
            fftwf_destroy_plan (inverse);
    }

    int pastSlots() const noexcept { return std::max (partitions - 1, 1); }

    void reset (Channel& c) noexcept
    {
        std::fill (c.window.get(), c.window.get() + size, 0.0f);
        std::memset (c.past.get(), 0, sizeof (fftwf_complex) * (size_t) (stride * pastSlots()));
        std::memset (c.sum.get(), 0, sizeof (fftwf_complex) * (size_t) stride);
        c.head = 0;
        c.fill = 0;
    }

    void process (Channel& c, float* x, int n) noexcept
    {
        const int frame = size / 2;
        const int slots = pastSlots();

        for (int done = 0; done < n;)
        {
            if (c.fill == 0 && partitions > 1)
            {
                // Slot head - 1 holds the newest complete window, which meets partition 1.
                for (int j = 1; j < partitions; ++j)
                {
                    const int slot = ((c.head - j) % slots + slots) % slots;
                    const float* window = floats (c.past.get() + slot * stride);
                    if (j == 1)
                        multiply (floats (c.sum.get()), window, kernelReal (j), kernelImag (j), bins);
                    else
                        accumulate (floats (c.sum.get()), window, kernelReal (j), kernelImag (j), bins);
                }
            }

            const int m = std::min (n - done, frame - c.fill);
            std::memcpy (c.window.get() + frame + c.fill, x + done, sizeof (float) * (size_t) m);

            auto* spectrum = c.past.get() + c.head * stride;
            fftwf_execute_dft_r2c (forward, c.window.get(), spectrum);

            if (partitions > 1)
                multiplyAdd (floats (c.product.get()), floats (spectrum), kernelReal (0), kernelImag (0), floats (c.sum.get()), bins);
            else
                multiply (floats (c.product.get()), floats (spectrum), kernelReal (0), kernelImag (0), bins);

            fftwf_execute_dft_c2r (inverse, c.product.get(), c.result.get());
            std::memcpy (x + done, c.result.get() + frame + c.fill, sizeof (float) * (size_t) m);

            c.fill += m;
            done += m;

            if (c.fill == frame)
            {
                if (partitions > 1)
                    c.head = (c.head + 1) % slots;
                std::memcpy (c.window.get(), c.window.get() + frame, sizeof (float) * (size_t) frame);
                std::fill (c.window.get() + frame, c.window.get() + size, 0.0f);
                c.fill = 0;
            }
        }
    }
};

InputKernel::InputKernel() = default;
InputKernel::~InputKernel() = default;

void InputKernel::prepare (const float* impulseResponse, int length, int maxBlock, int numChannels)
{
    numPrepared = std::clamp (numChannels, 0, 2);
    fft.reset();
    direct.clear();
    partition = 0;

    int first = -1, last = -1;
    for (int i = 0; i < length; ++i)
    {
        if (impulseResponse[i] != 0.0f)
        {
            if (first < 0)
                first = i;
            last = i;
        }
    }

    if (first == 0 && last == 0 && impulseResponse[0] == 1.0f)
    {
        currentForm = Form::passthrough;
        return;
    }

    if (first < 0)   // all zeros: one zero tap gives the silence the convolution would
        first = last = 0;

    if (last - first + 1 <= maxDirectSpan)
    {
        currentForm = Form::direct;
        firstTap = first;
        lastTap = last;
        directTaps.assign (impulseResponse + first, impulseResponse + last + 1);
        direct.resize ((size_t) numPrepared);
        for (auto& c : direct)
        {
            c.line.assign ((size_t) (lastTap + directChunk), 0.0f);
            c.sum.assign ((size_t) directChunk, 0.0f);
        }
        return;
    }

    currentForm = Form::partitioned;

    // Partition length, from timings on this project's build machine (stereo, 2048 taps): a call
    // whose length is a power of two runs fastest on frames of that length, since every call
    // then ends a frame; any other length touches two or three frames per call whatever the
    // frame length, and 256 (128 for calls under 256) balanced the transform sizes against the
    // number of partitions to sum (1115 samples: 16 us on 256, 18 on 512, 22 on 1024).
    const int taps = last + 1;
    const int call = std::max (maxBlock, 1);
    const bool powerOfTwo = (call & (call - 1)) == 0;
    partition = powerOfTwo ? std::max (call, 128) : (call < 256 ? 128 : 256);
    partition = std::min (partition, ceilPowerOfTwo (taps));

    fft = std::make_unique<FftState>();
    auto& s = *fft;
    s.size = 2 * partition;
    s.bins = partition + 1;
    s.stride = (s.bins + 7) / 8 * 8;
    s.partitions = (taps + partition - 1) / partition;
    s.kernel = realArray ((size_t) (4 * s.stride * s.partitions));

    auto scratch = realArray ((size_t) s.size);
    auto spectrum = complexArray ((size_t) s.stride);

    {
        std::lock_guard<std::mutex> guard (plannerLock());
        s.forward = fftwf_plan_dft_r2c_1d (s.size, scratch.get(), spectrum.get(), FFTW_ESTIMATE);
        s.inverse = fftwf_plan_dft_c2r_1d (s.size, spectrum.get(), scratch.get(), FFTW_ESTIMATE);
    }

    // Partition j, zero-padded to the transform length, scaled so the inverse needs no division.
    const float scale = 1.0f / (float) s.size;
    for (int j = 0; j < s.partitions; ++j)
    {
        std::fill (scratch.get(), scratch.get() + s.size, 0.0f);
        const int from = j * partition;
        const int count = std::min (partition, taps - from);
        for (int i = 0; i < count; ++i)
            scratch[(size_t) i] = impulseResponse[from + i] * scale;
        fftwf_execute_dft_r2c (s.forward, scratch.get(), spectrum.get());

        auto* re = s.kernel.get() + 4 * s.stride * j;
        auto* im = re + 2 * s.stride;
        for (int k = 0; k < s.bins; ++k)
        {
            re[2 * k] = re[2 * k + 1] = spectrum[(size_t) k][0];
            im[2 * k] = -spectrum[(size_t) k][1];
            im[2 * k + 1] = spectrum[(size_t) k][1];
        }
    }

    s.channels.resize ((size_t) numPrepared);
    for (auto& c : s.channels)
    {
        c.window = realArray ((size_t) s.size);
        c.result = realArray ((size_t) s.size);
        c.past = complexArray ((size_t) (s.stride * s.pastSlots()));
        c.sum = complexArray ((size_t) s.stride);
        c.product = complexArray ((size_t) s.stride);
    }

    reset();
}

void InputKernel::reset() noexcept
{
    for (auto& c : direct)
        std::fill (c.line.begin(), c.line.end(), 0.0f);

    if (fft != nullptr)
        for (auto& c : fft->channels)
            fft->reset (c);
}

void InputKernel::process (float* const* channels, int numChannels, int n) noexcept
{
    const int count = std::min (numChannels, numPrepared);

    if (currentForm == Form::passthrough || n <= 0)
        return;

    for (int ch = 0; ch < count; ++ch)
    {
        if (currentForm == Form::direct)
            processDirect (direct[(size_t) ch], channels[ch], n);
        else
            fft->process (fft->channels[(size_t) ch], channels[ch], n);
    }
}

void InputKernel::processDirect (DirectChannel& c, float* x, int n) noexcept
{
    const int taps = lastTap - firstTap + 1;
    float* line = c.line.data();
    float* sum = c.sum.data();

    for (int done = 0; done < n;)
    {
        const int m = std::min (n - done, directChunk);
        std::memcpy (line + lastTap, x + done, sizeof (float) * (size_t) m);
        std::fill (sum, sum + m, 0.0f);

        // Tap k reads the input k samples back: line[lastTap + t - k].
        for (int i = 0; i < taps; ++i)
        {
            const float h = directTaps[(size_t) i];
            const float* in = line + lastTap - firstTap - i;
            for (int t = 0; t < m; ++t)
                sum[t] += h * in[t];
        }

        std::memcpy (x + done, sum, sizeof (float) * (size_t) m);
        std::memmove (line, line + m, sizeof (float) * (size_t) lastTap);
        done += m;
    }
}
