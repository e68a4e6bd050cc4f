#include "VolumeMeter.h"

#include "EditorArtwork.h"

#include <processor/PluginProcessor.h>

namespace
{
// Bar left edges in the gain column: input left and right, output left and right.
constexpr std::array<float, VolumeMeter::numBars> barX { 26.0f, 32.0f, 103.0f, 109.0f };

// Pixels from 0 dB down to the floor, and the most a shown level may fall per paint.
constexpr float maskPixelsAtFloor = 309.0f;
constexpr float fallPerPaintDb = 1.5f;
constexpr float quietBelowDb = -50.0f;

constexpr float halfPi = 1.5707964f;
} // namespace

VolumeMeter::VolumeMeter (TovaniAudioProcessor* processorToRead)
    : processor (processorToRead)
{
    addAndMakeVisible (inputPeakButton);
    addAndMakeVisible (outputPeakButton);
    inputPeakButton.onClick = [this] { inputPeak = floorDb; };
    outputPeakButton.onClick = [this] { outputPeak = floorDb; };
    startTimer (slowIntervalMs);
}

VolumeMeter::~VolumeMeter()
{
    stopTimer();
}

void VolumeMeter::timerCallback()
{
    if (processor != nullptr)
        tick (processor->meterLevels.copy());
}

void VolumeMeter::tick (const std::vector<float>& levels)
{
    prevShownLevels = shownLevels;

    for (auto& bar : barLevels)
        bar.previous = bar.current;

    const int count = juce::jmin (numBars, (int) levels.size());

    for (int k = 0; k < count; ++k)
    {
        const float level = levels[(size_t) k];
        float& hold = k < 2 ? inputPeak : outputPeak;

        // Holds keep the raw level, overs included; silence (-inf) never raises them.
        if (level > hold)
            hold = level;

        barLevels[(size_t) k].current = juce::jlimit (floorDb, 0.0f, level);
    }

    // A bar shows the louder of the last two ticks, so a one-tick spike stays visible.
    for (size_t k = 0; k < numBars; ++k)
        shownLevels[k] = juce::jmax (barLevels[k].current, barLevels[k].previous, floorDb);

    repaint();

    // The rate follows the input-left level of the previous tick.
    if (barLevels[0].previous < quietBelowDb)
    {
        quietTicks = juce::jmin (quietTicks + 1, quietTicksToSlowDown);

        if (quietTicks == quietTicksToSlowDown)
        {
            if (fastRate == 1)
                setRate (0);
        }
        else if (fastRate == 0)
        {
            setRate (1);
        }
    }
    else
    {
        quietTicks = 0;

        if (fastRate == 0)
            setRate (1);
    }
}

void VolumeMeter::setRate (int newFastRate)
{
    fastRate = newFastRate;
    startTimer (fastRate == 1 ? fastIntervalMs : slowIntervalMs);
}

void VolumeMeter::paint (juce::Graphics& g)
{
    const float s = sizeFactor;

    g.setFont (13.0f * s);
    g.setColour (juce::Colours::red);

    const auto drawOver = [&] (float peak, float x)
    {
        if (peak > 0.0f)
            g.drawText (juce::String ((double) peak, 1) + " dB",
                        juce::Rectangle<float> (x * s, 0.0f, 69.0f * s, 23.0f * s).toType<int>(),
                        juce::Justification::centred,
                        true);
    };

    drawOver (inputPeak, -4.0f);
    drawOver (outputPeak, 73.0f);

    for (size_t k = 0; k < numBars; ++k)
    {
        // Falls are limited per paint, measured against what the previous tick showed.
        if (shownLevels[k] <= prevShownLevels[k] && prevShownLevels[k] - shownLevels[k] >= fallPerPaintDb)
            shownLevels[k] = prevShownLevels[k] - fallPerPaintDb;

        const float maskLength = shownLevels[k] * -maskPixelsAtFloor / -floorDb;
        drawMask (g, barX[k], maskLength);
    }
}

void VolumeMeter::drawMask (juce::Graphics& g, float x, float maskLength)
{
    const float s = sizeFactor;

    juce::Path mask;
    mask.addCentredArc ((x + 2.0f) * s, 41.0f * s, 2.0f * s, 2.0f * s, 0.0f, -halfPi, halfPi, true);
    mask.lineTo ((x + 4.0f) * s, (maskLength + 40.0f) * s);
    mask.addCentredArc ((x + 2.0f) * s, (maskLength + 40.0f) * s, 2.0f * s, 2.0f * s, 0.0f, halfPi, -halfPi, false);
    mask.closeSubPath();

    g.setColour (EditorArtwork::windowColour);
    g.fillPath (mask);
}
