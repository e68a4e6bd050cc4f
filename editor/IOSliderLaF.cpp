#include "IOSliderLaF.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

IOSliderLaF::IOSliderLaF()
    : thumbImage (EditorArtwork::loadHalved (BinaryData::fader_thumb_png, BinaryData::fader_thumb_pngSize))
{
}

IOSliderLaF::~IOSliderLaF() = default;

juce::Point<int> IOSliderLaF::thumbPosition (const juce::Slider& slider) const
{
    const float s = sizeFactor;
    const auto height = (float) slider.getHeight();
    const double value = slider.getValue();
    const double minimum = slider.getMinimum();
    const double maximum = slider.getMaximum();

    // The thumb's top edge runs linearly from 50 pixels above the bottom (minimum) to 5 pixels
    // above the top (maximum); the fader clips what overhangs.
    const float top = height - 50.0f * s;
    const int y = (int) (top + (value - minimum) * ((-5.0f * s) - top) / (maximum - minimum));
    const int x = (int) ((float) (slider.getWidth() / 2) - 28.0f * s);
    return { x, y };
}

void IOSliderLaF::drawLinearSlider (juce::Graphics& g, int, int, int, int, float, float, float,
                                    juce::Slider::SliderStyle, juce::Slider& slider)
{
    const float s = sizeFactor;
    const auto position = thumbPosition (slider);
    const int size = (int) (56.0f * s);

    g.drawImageWithin (thumbImage, position.x, position.y, size, size, juce::RectanglePlacement::fillDestination);

    g.setColour (juce::Colour (0xffffffff));
    g.setFont (13.0f * s);
    g.drawFittedText (juce::String (slider.getValue(), 1), position.x, position.y, size, size,
                      juce::Justification::centred, 1);
}

juce::Slider::SliderLayout IOSliderLaF::getSliderLayout (juce::Slider& slider)
{
    const float s = sizeFactor;
    juce::Slider::SliderLayout layout;
    layout.sliderBounds = { (int) (15.0f * s), (int) (30.0f * s),
                            (int) ((float) slider.getWidth() - 30.0f * s),
                            (int) ((float) slider.getHeight() - 55.0f * s) };
    layout.textBoxBounds = {};
    return layout;
}
