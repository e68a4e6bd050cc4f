#include "PresetImageBtn.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

PresetImageBtn::PresetImageBtn()
    : normalImage (EditorArtwork::load (BinaryData::preset_face_png, BinaryData::preset_face_pngSize)),
      downImage (EditorArtwork::load (BinaryData::preset_face_down_png, BinaryData::preset_face_down_pngSize))
{
    normalImage = EditorArtwork::halved (normalImage);
    downImage = EditorArtwork::halved (downImage);
}

void PresetImageBtn::paintButton (juce::Graphics& g, bool, bool)
{
    const bool heldDown = getState() == juce::Button::buttonDown;
    EditorArtwork::drawCentred (g, heldDown ? downImage : normalImage, sizeFactor, getWidth(), getHeight());
}
