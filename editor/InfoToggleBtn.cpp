#include "InfoToggleBtn.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

InfoToggleBtn::InfoToggleBtn()
    : panelImage (EditorArtwork::load (BinaryData::info_panel_png, BinaryData::info_panel_pngSize)),
      buttonImage (EditorArtwork::load (BinaryData::info_face_png, BinaryData::info_face_pngSize)),
      hoverImage (EditorArtwork::load (BinaryData::info_face_hover_png, BinaryData::info_face_hover_pngSize))
{
    panelImage = EditorArtwork::halved (panelImage);
    buttonImage = EditorArtwork::halved (buttonImage);
    hoverImage = EditorArtwork::halved (hoverImage);
}

void InfoToggleBtn::paintButton (juce::Graphics& g, bool, bool)
{
    const float s = sizeFactor;

    if (! getToggleState())
    {
        EditorArtwork::drawCentred (g, isMouseOver (false) ? hoverImage : buttonImage, s, getWidth(), getHeight());
        return;
    }

    // Open: the face keeps its place in the window; the panel goes away while the mouse is held.
    EditorArtwork::drawCentredOn (g, buttonImage, s, 617.0f * s, 458.0f * s);

    if (getState() != juce::Button::buttonDown)
        EditorArtwork::drawCentred (g, panelImage, s, getWidth(), getHeight());
}
