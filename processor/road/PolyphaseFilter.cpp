#include "PolyphaseFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// Highway compiles the kernel once per x86 vector width and picks the widest the CPU has at run
// time; at most 8 lanes, as the rows of taps are a multiple of 8 long. Measured against the
// hand-written AVX2 kernel with an SSE fallback, both walking the phases as below, one 512-sample
// stereo block, fastest of four interleaved runs: 176.4 kHz up 4.8 against 4.8 us, down 2.4
// against 2.0; 88.2 kHz up 9.9 against 9.7, down 3.6 against 3.3. Within 10 % both ways (its two
// separate horizontal sums cost what the hand kernel's paired one saved), so the one source
// stays, which also runs mono on one channel's products instead of two.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/road/PolyphaseFilter.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace road
{
namespace HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

// Outputs are made phase by phase rather than in order: a phase's row of taps then serves every
// output of the call that uses it while it sits in L1, where taking outputs in order streams the
// whole table (40 to 80 kB at 88.2 and 176.4 kHz) through the cache about once per 150 outputs.
// The first `up` outputs have every phase once, and output k + up has output k's phase with its
// taps `down` further on; the walk over those first outputs steps phase and start without a
// division, so that a short block, which has fewer outputs than phases, pays for none it does
// not make. Fastest of four runs alternating with the in-order form (the hand-written AVX2 kernel
// it replaced), 512-sample stereo blocks: 176.4 kHz up 5.6 -> 4.4 us and down 2.7 -> 1.9, 88.2 kHz
// up 11.2 -> 7.7 and down 3.9 -> 3.3; 64-sample blocks at 88.2 kHz, up 1.5 -> 1.2 and down 0.5
// -> 0.7.
template <int Channels>
HWY_INLINE void Walk (const PolyphaseFilter::Schedule& s, const float* const* x, float* const* out)
{
    const hn::CappedTag<float, 8> d;
    const int lanes = (int) hn::Lanes (d);
    const int quotient = s.down / s.up, remainder = s.down % s.up;
    int phase = s.phase, start = s.start;

    for (int first = 0; first < std::min (s.made, s.up); ++first)
    {
        const float* h = s.coefficients + (size_t) phase * (size_t) s.taps;

        for (int k = first, at = start; k < s.made; k += s.up, at += s.down)
        {
            auto sum0 = hn::Zero (d), sum1 = hn::Zero (d);
            for (int j = 0; j < s.taps; j += lanes)
            {
                const auto c = hn::LoadU (d, h + j);
                sum0 = hn::MulAdd (c, hn::LoadU (d, x[0] + at + j), sum0);
                if constexpr (Channels == 2)
                    sum1 = hn::MulAdd (c, hn::LoadU (d, x[1] + at + j), sum1);
            }
            out[0][k] = hn::GetLane (hn::SumOfLanes (d, sum0));
            if constexpr (Channels == 2)
                out[1][k] = hn::GetLane (hn::SumOfLanes (d, sum1));
        }

        phase += remainder;
        start += quotient;
        if (phase >= s.up)
        {
            phase -= s.up;
            ++start;
        }
    }
}

void Produce (const PolyphaseFilter::Schedule& s, int channels, const float* const* x, float* const* out)
{
    if (channels == 2)
        Walk<2> (s, x, out);
    else
        Walk<1> (s, x, out);
}
} // namespace HWY_NAMESPACE
} // namespace road
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace road
{
HWY_EXPORT (Produce);

void PolyphaseFilter::prepare (int up, int down, double inRate, double passHz, double stopHz,
                               double stopAttenuationDb, int numChannels, int maxFrames)
{
    channels = std::clamp (numChannels, 1, 2);

    // Kaiser's estimates of the length and window for the stop band's depth, the cut-off midway
    // through the transition; a multiple of 8 taps for the vector kernel.
    const double width = (stopHz - passHz) / inRate, cutoff = 0.5 * (passHz + stopHz) / inRate;
    taps = (int) std::ceil ((stopAttenuationDb - 7.95) / (14.36 * width)) + 1;
    taps = (taps + 7) / 8 * 8;
    const double beta = 0.1102 * (stopAttenuationDb - 8.7), half = 0.5 * taps, norm = std::cyl_bessel_i (0.0, beta);
    coefficients.assign ((size_t) up * (size_t) taps, 0.0f);
    std::vector<double> row ((size_t) taps);

    for (int p = 0; p < up; ++p)
    {
        double sum = 0.0;
        for (int j = 0; j < taps; ++j)
        {
            // How far the output lies after this tap's input, in input samples.
            const double t = (double) p / up + half - 1.0 - j, r = t / half;
            const double x = 2.0 * cutoff * t;
            const double sinc = std::abs (x) < 1.0e-12 ? 1.0 : std::sin (M_PI * x) / (M_PI * x);
            const double window = std::abs (r) >= 1.0 ? 0.0 : std::cyl_bessel_i (0.0, beta * std::sqrt (1.0 - r * r)) / norm;
            row[(size_t) j] = 2.0 * cutoff * sinc * window;
            sum += row[(size_t) j];
        }
        // Each phase passes a constant exactly.
        for (int j = 0; j < taps; ++j)
            coefficients[(size_t) p * (size_t) taps + (size_t) j] = (float) (row[(size_t) j] / sum);
    }

    upFactor = up;
    downFactor = down;

    for (auto& h : history)
        h.assign ((size_t) (2 * taps + maxFrames + 8), 0.0f);
    reset();
}

void PolyphaseFilter::reset() noexcept
{
    // Silence before the first input, so that output 0 lies on input 0.
    for (auto& h : history)
        std::fill (h.begin(), h.end(), 0.0f);
    phase = start = 0;
    count = taps / 2 - 1;
}

int PolyphaseFilter::process (const float* const* in, int frames, float* const* out, int outRoom) noexcept
{
    const int capacity = (int) history[0].size();
    if (count + frames > capacity)
    {
        for (int c = 0; c < channels; ++c)
            std::memmove (history[(size_t) c].data(), history[(size_t) c].data() + start, sizeof (float) * (size_t) (count - start));
        count -= start;
        start = 0;
    }

    frames = std::min (frames, capacity - count);
    for (int c = 0; c < channels; ++c)
        std::copy (in[c], in[c] + frames, history[(size_t) c].data() + count);
    count += frames;

    // The outputs whose taps are all in: output k's taps start (phase + k * down) / up on.
    const long long room = (long long) (count - taps - start + 1) * upFactor - phase;
    const int made = room <= 0 ? 0 : (int) std::min<long long> (outRoom, (room + downFactor - 1) / downFactor);
    const Schedule schedule { coefficients.data(), taps, upFactor, downFactor, phase, start, made };
    const float* x[2] = { history[0].data(), history[1].data() };
    HWY_DYNAMIC_DISPATCH (Produce) (schedule, channels, x, out);

    const long long moved = phase + (long long) made * downFactor;
    start += (int) (moved / upFactor);
    phase = (int) (moved % upFactor);
    return made;
}

} // namespace road
#endif
