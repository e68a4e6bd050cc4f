#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <vector>

class TovaniAudioProcessor;

/** The gain column's level display: masks over the four level strips and the two over readouts.

    The column draws the strips; the meter hides each one from its top down to the level it shows,
    so the uncovered rest reads as the bar. It polls the processor's true-peak levels on a timer
    that slows down while the input is quiet.
*/
class VolumeMeter : public juce::Component,
                    public juce::Timer
{
public:
    explicit VolumeMeter (TovaniAudioProcessor* processor);
    ~VolumeMeter() override;

    void paint (juce::Graphics&) override;
    void timerCallback() override;

    /** One tick on a copy of the processor's levels (dB: input channels first, then output). */
    void tick (const std::vector<float>& levels);

    /** Covers the strip whose left edge is x from its top cap down to 40 + maskLength. */
    void drawMask (juce::Graphics& g, float x, float maskLength);

    struct BarLevel
    {
        float previous = -60.0f;
        float current = -60.0f;
    };

    static constexpr int numBars = 4;
    static constexpr float floorDb = -60.0f;
    static constexpr int slowIntervalMs = 333;
    static constexpr int fastIntervalMs = 50;
    static constexpr int quietTicksToSlowDown = 45;

    juce::ImageButton inputPeakButton;
    juce::ImageButton outputPeakButton;
    std::array<BarLevel, numBars> barLevels {};
    std::array<float, numBars> prevShownLevels { floorDb, floorDb, floorDb, floorDb };
    float inputPeak = floorDb;
    float outputPeak = floorDb;
    int quietTicks = 0;
    std::array<float, numBars> shownLevels { floorDb, floorDb, floorDb, floorDb };
    int fastRate = 0;
    TovaniAudioProcessor* processor;
    float sizeFactor = 1.0f;

private:
    void setRate (int newFastRate);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VolumeMeter)
};
