#pragma once

#include <array>
#include <vector>

namespace road
{

/** Resampling by a whole-number ratio up / down with one Kaiser-windowed low-pass applied
    directly: output k lies at k * down / up input samples, and output 0 on input 0.

    It suits wide transitions (16 to 56 taps), where it costs less than a library's general
    structure, and it releases each output as soon as its taps are in, so its delay is the
    filter's own. Stereo or mono; the two channels share every product's taps. */
class PolyphaseFilter
{
public:
    // Message thread; may allocate. Flat to passHz, stopAttenuationDb down from stopHz; at most
    // maxFrames frames per process() call.
    void prepare (int up, int down, double inRate, double passHz, double stopHz, double stopAttenuationDb,
                  int numChannels, int maxFrames);
    // Silence in the history.
    void reset() noexcept;
    // Consumes all `frames` frames; returns how many it wrote to out (at most outRoom).
    int process (const float* const* in, int frames, float* const* out, int outRoom) noexcept;

    // One call's outputs: the phase of the first and where its taps start, and how many are made.
    struct Schedule
    {
        const float* coefficients;
        int taps, up, down, phase, start, made;
    };

private:
    int channels = 1, taps = 0, upFactor = 1, downFactor = 1;
    // The next output's phase, and where its taps start in `history`, which holds `count`
    // samples.
    int phase = 0, start = 0, count = 0;
    std::vector<float> coefficients; // a row of `taps` per phase
    std::array<std::vector<float>, 2> history;
};

} // namespace road
