#include "LinkToggleBtn.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

LinkToggleBtn::LinkToggleBtn()
    : onImage (EditorArtwork::loadHalved (BinaryData::link_on_png, BinaryData::link_on_pngSize)),
      offImage (EditorArtwork::loadHalved (BinaryData::link_off_png, BinaryData::link_off_pngSize))
{
}

LinkToggleBtn::~LinkToggleBtn() = default;

void LinkToggleBtn::paintButton (juce::Graphics& g, bool, bool)
{
    EditorArtwork::drawCentred (g, getToggleState() ? onImage : offImage, sizeFactor, getWidth(), getHeight());
}
