#include "BypassToggleBtn.h"

#include "EditorArtwork.h"

#include <BinaryData.h>

BypassToggleBtn::BypassToggleBtn()
    : overlayImage (EditorArtwork::load (BinaryData::bypass_overlay_png, BinaryData::bypass_overlay_pngSize)),
      buttonImage (EditorArtwork::load (BinaryData::bypass_face_png, BinaryData::bypass_face_pngSize)),
      downImage (EditorArtwork::load (BinaryData::bypass_face_down_png, BinaryData::bypass_face_down_pngSize))
{
    overlayImage = EditorArtwork::halved (overlayImage);
    buttonImage = EditorArtwork::halved (buttonImage);
    downImage = EditorArtwork::halved (downImage);
}

void BypassToggleBtn::paintButton (juce::Graphics& g, bool, bool)
{
    const float s = sizeFactor;
    const bool heldDown = getState() == juce::Button::buttonDown;

    if (! getToggleState())
    {
        EditorArtwork::drawCentred (g, heldDown ? downImage : buttonImage, s, getWidth(), getHeight());
        return;
    }

    // Bypassed: the face keeps its place in the window, under the overlay.
    EditorArtwork::drawCentredOn (g, buttonImage, s, 576.0f * s, 45.0f * s);

    if (! heldDown)
        EditorArtwork::drawCentred (g, overlayImage, s, getWidth(), getHeight());
}
