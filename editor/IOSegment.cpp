#include "IOSegment.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

IOSegment::IOSegment (TovaniAudioProcessor* processor)
    : barImage (EditorArtwork::load (BinaryData::level_strip_png, BinaryData::level_strip_pngSize)),
      volumeMeter (processor)
{
    barImage = EditorArtwork::halved (barImage);

    // Back to front: the meter, then the faders and the switch, which take the mouse.
    addAndMakeVisible (volumeMeter);

    for (auto* slider : { &inputSlider, &outputSlider })
    {
        slider->setLookAndFeel (&ioSliderLaF);
        slider->setSliderSnapsToMousePosition (false);
        addAndMakeVisible (*slider);
    }

    addAndMakeVisible (linkToggleBtn);
}

IOSegment::~IOSegment()
{
    inputSlider.setLookAndFeel (nullptr);
    outputSlider.setLookAndFeel (nullptr);
}

void IOSegment::paint (juce::Graphics& g)
{
    const float s = sizeFactor;
    const int stripWidth = barImage.getWidth() / 2;
    const int stripHeight = barImage.getHeight() / 2;

    for (const float x : stripX)
        g.drawImageWithin (barImage, (int) (x * s), (int) (40.0f * s),
                           (int) ((float) stripWidth * s), (int) ((float) stripHeight * s),
                           juce::RectanglePlacement::fillDestination);

    volumeMeter.setBounds (0, 0, getWidth(), getHeight());
    inputSlider.setBounds ((int) (4.0f * s), (int) (33.0f * s), (int) (52.0f * s), (int) (323.0f * s));
    outputSlider.setBounds ((int) (82.0f * s), (int) (33.0f * s), (int) (52.0f * s), (int) (323.0f * s));
    linkToggleBtn.setBounds ((int) (53.0f * s), (int) (160.0f * s), (int) (35.0f * s), (int) (47.0f * s));
}
