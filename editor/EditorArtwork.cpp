#include "EditorArtwork.h"

namespace EditorArtwork
{
juce::Image load (const void* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

juce::Image halved (const juce::Image& image)
{
    return image.rescaled (image.getWidth() / 2, image.getHeight() / 2, juce::Graphics::highResamplingQuality);
}

juce::Image loadHalved (const void* data, int size)
{
    return halved (load (data, size));
}

juce::Rectangle<int> drawnSize (const juce::Image& image, float sizeFactor)
{
    return { (int) (sizeFactor * (float) (image.getWidth() / 2)),
             (int) (sizeFactor * (float) (image.getHeight() / 2)) };
}

void drawCentred (juce::Graphics& g, const juce::Image& image, float sizeFactor, int boxWidth, int boxHeight)
{
    const auto size = drawnSize (image, sizeFactor);
    g.drawImageWithin (image,
                       boxWidth / 2 - size.getWidth() / 2,
                       boxHeight / 2 - size.getHeight() / 2,
                       size.getWidth(),
                       size.getHeight(),
                       juce::RectanglePlacement::fillDestination);
}

void drawCentredOn (juce::Graphics& g, const juce::Image& image, float sizeFactor, float x, float y)
{
    const auto size = drawnSize (image, sizeFactor);
    g.drawImageWithin (image,
                       (int) (x - (float) (size.getWidth() / 2)),
                       (int) (y - (float) (size.getHeight() / 2)),
                       size.getWidth(),
                       size.getHeight(),
                       juce::RectanglePlacement::fillDestination);
}
} // namespace EditorArtwork
