#pragma once

#include <array>

/** True peak of a stream, per channel: the peak of the signal oversampled four times with the
    BS.1770 interpolation filter (TruePeakFilter.h), in dB. Each channel carries its last samples
    from one call to the next, so the filter runs over the stream without a break whatever the
    lengths of the blocks. The filter runs vectorised, on the widest vectors the CPU has, chosen
    at run time.
*/
class TruePeakMeter
{
public:
    static constexpr int maxChannels = 2;
    static constexpr int carried = 12;

    /** Nothing to allocate: the histories are fixed; this clears them. */
    void prepare (int numChannels) noexcept;
    void reset() noexcept;

    /** The level of the next n samples of a channel's stream: 20 log10 of the largest
        oversampled magnitude, -inf when it is 0 or n < 1. NaN outputs of the filter are passed
        over. Any n. */
    float process (int channel, const float* samples, int n) noexcept;

    int numChannels() const noexcept { return channels; }

    /** The largest |filter output| at positions 0 .. count - 1 of x; x[-11] .. x[-1] must be
        readable. The plain and the vectorised forms give the same figure, bit for bit. */
    static float plainPeak (const float* x, int count) noexcept;
    static float vectorPeak (const float* x, int count) noexcept;

private:
    static constexpr int piece = 512;

    int channels = maxChannels;
    std::array<std::array<float, carried>, maxChannels> history {};
    std::array<float, carried + piece> joined {};   // the carried samples, then a piece of the block
};
