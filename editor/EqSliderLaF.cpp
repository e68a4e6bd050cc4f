#include "EqSliderLaF.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

#include <cmath>

namespace
{
// The track is part of a large ring whose centre lies left of the panel.
constexpr double centreX = -181.8;
constexpr double centreY = 170.0;
constexpr float cornerOffset = 0.018f;
} // namespace

// Just past the lower end, so that with the switch off the mask darkens the whole track.
const float EqSliderLaF::offAngle = (float) (0.662 * juce::MathConstants<double>::pi);

EqSliderLaF::EqSliderLaF()
    : arcImage (EditorArtwork::loadHalved (BinaryData::eq_arc_png, BinaryData::eq_arc_pngSize))
{
}

EqSliderLaF::~EqSliderLaF() = default;

float EqSliderLaF::litEndAngle (float proportion, float rotaryStartAngle, float rotaryEndAngle) const
{
    return eqOn ? rotaryStartAngle + proportion * (rotaryEndAngle - rotaryStartAngle) : offAngle;
}

juce::Path EqSliderLaF::valueMask (float theta, float rotaryEndAngle) const
{
    const float s = sizeFactor;
    const float thetaC = theta + cornerOffset;

    const auto point = [s] (double r, double phi)
    {
        return juce::Point<float> ((float) (centreX + r * std::cos (phi - 1.5708)) * s,
                                   (float) (centreY + r * std::sin (phi - 1.5708)) * s);
    };

    const float cx = (float) centreX * s;
    const float cy = (float) centreY * s;
    const double cornerPhi = (double) theta + (double) cornerOffset;
    const auto sideways = (float) ((double) theta - 1.5708 + (double) cornerOffset);
    const auto inwards = (float) ((double) theta - 3.1416 + (double) cornerOffset);

    juce::Path mask;
    mask.startNewSubPath (point (259.0, rotaryEndAngle));
    mask.addCentredArc (cx, cy, 291.0f * s, 291.0f * s, 0.0f, rotaryEndAngle, thetaC, false);

    // Two corner arcs give the lit part a flat end with rounded corners at theta.
    const auto outerCorner = point (286.0, cornerPhi);
    mask.addCentredArc (outerCorner.x, outerCorner.y, 5.0f * s, 5.0f * s, 0.0f, thetaC, sideways, false);
    mask.lineTo (point (265.0, theta));
    const auto innerCorner = point (265.0, cornerPhi);
    mask.addCentredArc (innerCorner.x, innerCorner.y, 5.0f * s, 5.0f * s, 0.0f, sideways, inwards, false);

    mask.addCentredArc (cx, cy, 259.0f * s, 259.0f * s, 0.0f, thetaC, rotaryEndAngle, false);
    mask.closeSubPath();
    return mask;
}

void EqSliderLaF::drawRotarySlider (juce::Graphics& g, int, int, int, int,
                                    float proportion, float rotaryStartAngle, float rotaryEndAngle,
                                    juce::Slider&)
{
    const float s = sizeFactor;

    g.drawImageWithin (arcImage, (int) (-477.0f * s), (int) (-127.0f * s), (int) (602.0f * s), (int) (593.0f * s),
                       juce::RectanglePlacement::fillDestination);

    g.setColour (EditorArtwork::windowColour);
    g.fillPath (valueMask (litEndAngle (proportion, rotaryStartAngle, rotaryEndAngle), rotaryEndAngle));
}
