#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Loading and placing the editor's compiled-in artwork.

    Every PNG is stored at four times the size at which it is drawn: it is decoded once, halved
    with high-quality resampling when its holder is built, and halved again by the drawing.
*/
namespace EditorArtwork
{
/** Decodes a compiled-in PNG; a PNG that does not decode gives a null image. */
juce::Image load (const void* data, int size);

/** The image rescaled to half its width and height (integer halving), high quality. */
juce::Image halved (const juce::Image& image);

/** load() followed by halved(). */
juce::Image loadHalved (const void* data, int size);

/** The drawn size of a held image: half of it, times the scale, truncated. */
juce::Rectangle<int> drawnSize (const juce::Image& image, float sizeFactor);

/** Draws the image at its drawn size, centred in a box of the given size at the origin. */
void drawCentred (juce::Graphics& g, const juce::Image& image, float sizeFactor, int boxWidth, int boxHeight);

/** Draws the image at its drawn size, centred on a point. */
void drawCentredOn (juce::Graphics& g, const juce::Image& image, float sizeFactor, float x, float y);

/** The window's colour, which also fills every mask that hides part of an image. */
inline const juce::Colour windowColour { 0xff3c3c43 };
} // namespace EditorArtwork
