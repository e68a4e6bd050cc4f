#include "EQToggleBtn.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

EQToggleBtn::EQToggleBtn()
    : onImage (EditorArtwork::load (BinaryData::eq_switch_on_png, BinaryData::eq_switch_on_pngSize)),
      offImage (EditorArtwork::load (BinaryData::eq_switch_off_png, BinaryData::eq_switch_off_pngSize))
{
    onImage = EditorArtwork::halved (onImage);
    offImage = EditorArtwork::halved (offImage);
}

EQToggleBtn::~EQToggleBtn() = default;

void EQToggleBtn::paintButton (juce::Graphics& g, bool, bool)
{
    EditorArtwork::drawCentred (g, getToggleState() ? onImage : offImage, sizeFactor, getWidth(), getHeight());
}
