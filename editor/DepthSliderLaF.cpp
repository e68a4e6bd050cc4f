#include "DepthSliderLaF.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

#include <cmath>

DepthSliderLaF::DepthSliderLaF()
    : ringImage (EditorArtwork::load (BinaryData::depth_ring_png, BinaryData::depth_ring_pngSize)),
      capImage (EditorArtwork::load (BinaryData::depth_cap_png, BinaryData::depth_cap_pngSize))
{
    ringImage = EditorArtwork::halved (ringImage);
    capImage = EditorArtwork::halved (capImage);
}

DepthSliderLaF::~DepthSliderLaF() = default;

juce::Path DepthSliderLaF::valueMask (float a, float rotaryEndAngle) const
{
    const float s = sizeFactor;
    const double m = (double) a - 1.5708;

    juce::Path mask;
    mask.startNewSubPath (135.5f * s, 135.5f * s);
    mask.addArc (8.75f * s, 8.75f * s, 253.5f * s, 253.5f * s, rotaryEndAngle, a, false);

    // The covered edge at the value is set back about five pixels, with rounded outer corners,
    // so the lit track ends just past the value.
    const double outerX = 121.75 * std::cos (m) + 135.5;
    const double outerY = 121.75 * std::sin (m) + 135.5;
    mask.addArc ((float) (outerX - 5.0) * s, (float) (outerY - 5.0) * s, 10.0f * s, 10.0f * s,
                 a, (float) ((double) a + 1.5708), false);

    mask.lineTo ((float) (103.25 * std::cos (m + 0.05) + 135.5) * s,
                 (float) (103.25 * std::sin (m + 0.05) + 135.5) * s);

    const double innerX = 103.25 * std::cos (m) + 135.5;
    const double innerY = 103.25 * std::sin (m) + 135.5;
    mask.addArc ((float) (innerX - 5.0) * s, (float) (innerY - 5.0) * s, 10.0f * s, 10.0f * s,
                 (float) ((double) a + 1.5708), (float) ((double) a + 3.1416), false);

    mask.closeSubPath();
    return mask;
}

void DepthSliderLaF::drawRotarySlider (juce::Graphics& g, int, int, int, int,
                                       float proportion, float rotaryStartAngle, float rotaryEndAngle,
                                       juce::Slider&)
{
    const float s = sizeFactor;
    const float a = (rotaryEndAngle - rotaryStartAngle) * proportion + rotaryStartAngle;

    const int ringSize = (int) (271.0f * s);
    g.drawImageWithin (ringImage, 0, 0, ringSize, ringSize, juce::RectanglePlacement::fillDestination);

    g.setColour (EditorArtwork::windowColour);
    g.fillPath (valueMask (a, rotaryEndAngle));

    g.drawImageWithin (capImage, (int) (33.0f * s), (int) (34.0f * s), (int) (204.0f * s), (int) (204.0f * s),
                       juce::RectanglePlacement::fillDestination);
}
