// The window: layout after a paint, the overlays that resize their panels, the background
// click, the manual link and what opening the window does (and does not do) to the parameters.

#include "EditorHarness.h"

#include <editor/ManualFile.h>

#include <gtest/gtest.h>

namespace
{
using Rect = juce::Rectangle<int>;

TEST (EditorWindow, CreateEditorGivesTheFixedSizeWindow)
{
    ProcessorHarness host;
    std::unique_ptr<juce::AudioProcessorEditor> editor (host->createEditorIfNeeded());

    ASSERT_NE (dynamic_cast<TovaniAudioProcessorEditor*> (editor.get()), nullptr);
    EXPECT_EQ (editor->getWidth(), 720);
    EXPECT_EQ (editor->getHeight(), 480);
    EXPECT_FALSE (editor->isResizable());

    host->editorBeingDeleted (editor.get());
}

TEST (EditorWindow, FirstPaintLaysOutEveryPanelAndWidget)
{
    EditorHarness h;
    auto& e = h.open();

    EXPECT_EQ (e.backgroundButton.getBounds(), Rect (0, 0, 720, 480));
    EXPECT_EQ (e.ioSegment.getBounds(), Rect (38, 57, 150, 410));
    EXPECT_EQ (e.depthSegment.getBounds(), Rect (205, 83, 310, 310));
    EXPECT_EQ (e.eqSegment.getBounds(), Rect (540, 70, 160, 380));
    EXPECT_EQ (e.bypassSegment.getBounds(), Rect (533, 23, 86, 44));
    EXPECT_EQ (e.informationSegment.getBounds(), Rect (522, 443, 190, 30));
    EXPECT_EQ (e.presetSegment.getBounds(), Rect (66, 23, 84, 44));

    EXPECT_EQ (e.ioSegment.volumeMeter.getBounds(), Rect (0, 0, 150, 410));
    EXPECT_EQ (e.ioSegment.inputSlider.getBounds(), Rect (4, 33, 52, 323));
    EXPECT_EQ (e.ioSegment.outputSlider.getBounds(), Rect (82, 33, 52, 323));
    EXPECT_EQ (e.ioSegment.linkToggleBtn.getBounds(), Rect (53, 160, 35, 47));
    EXPECT_EQ (e.ioSegment.volumeMeter.inputPeakButton.getBounds(), Rect (-4, 0, 69, 23));
    EXPECT_EQ (e.ioSegment.volumeMeter.outputPeakButton.getBounds(), Rect (73, 0, 69, 23));

    EXPECT_EQ (e.depthSegment.depthSlider.getBounds(), Rect (20, 20, 271, 271));
    EXPECT_EQ (e.depthSegment.sliderLabel.getBounds(), Rect (130, 185, 50, 25));

    EXPECT_EQ (e.eqSegment.eqSlider.getBounds(), Rect (0, 0, 160, 330));
    EXPECT_EQ (e.eqSegment.eqToggleBtn.getBounds(), Rect (5, 310, 64, 64));
    EXPECT_FALSE (e.eqSegment.eqOverlayBtn.isVisible());

    EXPECT_EQ (e.bypassSegment.bypassToggleBtn.getBounds(), Rect (0, 0, 86, 44));
    EXPECT_EQ (e.informationSegment.infoToggleBtn.getBounds(), Rect (0, 0, 190, 30));
    EXPECT_FALSE (e.informationSegment.manualLinkBtn.isEnabled());
    EXPECT_EQ (e.presetSegment.presetImageBtn.getBounds(), Rect (0, 0, 84, 44));

    // Bottom to top, so the overlays cover everything and the background takes stray clicks.
    const juce::Component* expectedOrder[] { &e.backgroundButton, &e.presetSegment, &e.ioSegment, &e.depthSegment,
                                             &e.eqSegment, &e.informationSegment, &e.bypassSegment };
    ASSERT_EQ (e.getNumChildComponents(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ (e.getChildComponent (i), expectedOrder[i]) << "child " << i;
}

TEST (EditorWindow, OpeningChangesNoParameterAndSeedsTheLinkFromTheFaders)
{
    EditorHarness h;
    h.setParameter ("Input Gain", 4.5f);
    h.setParameter ("Output Gain", -2.25f);
    h.setParameter ("IO Link Switch", 1.0f);
    h.setParameter ("Depth", -6.0f);
    h.setParameter ("Depth EQ", 2.0f);

    auto& e = h.open();
    h.pump();

    EXPECT_FLOAT_EQ (h.parameter ("Input Gain"), 4.5f);
    EXPECT_FLOAT_EQ (h.parameter ("Output Gain"), -2.25f);
    EXPECT_FLOAT_EQ (h.parameter ("Depth"), -6.0f);
    EXPECT_FLOAT_EQ (h.parameter ("Depth EQ"), 2.0f);
    EXPECT_DOUBLE_EQ (e.lastInput, e.ioSegment.inputSlider.getValue());
    EXPECT_DOUBLE_EQ (e.lastOutput, e.ioSegment.outputSlider.getValue());
    EXPECT_NEAR (e.lastInput, 4.5, 1e-6);
    EXPECT_TRUE (e.ioSegment.linkToggleBtn.getToggleState());
    EXPECT_EQ (e.depthSegment.sliderLabel.getText(), "-6.0");
}

TEST (EditorWindow, BypassCoversTheWindowWhileOnWhateverTurnsItOn)
{
    EditorHarness h;
    h.setParameter ("Bypass", 1.0f);
    auto& e = h.open();

    // Opened while bypassed: the overlay from the first paint, dimming the window.
    EXPECT_EQ (e.bypassSegment.getBounds(), Rect (0, 0, 720, 480));
    EXPECT_EQ (e.bypassSegment.bypassToggleBtn.getBounds(), Rect (0, 0, 720, 480));
    auto image = h.paint();
    EXPECT_LT (image.getPixelAt (20, 300).getBrightness(), 0.15f);

    // A click anywhere turns it off and the panel shrinks back to the face.
    e.bypassSegment.bypassToggleBtn.triggerClick();
    h.pump();
    image = h.paint();
    EXPECT_FLOAT_EQ (h.parameter ("Bypass"), 0.0f);
    EXPECT_EQ (e.bypassSegment.getBounds(), Rect (533, 23, 86, 44));
    EXPECT_TRUE (isWindowColour (image.getPixelAt (20, 300)));

    // Host automation alone moves it too.
    h.setParameter ("Bypass", 1.0f);
    h.pump();
    h.paint();
    EXPECT_EQ (e.bypassSegment.getBounds(), Rect (0, 0, 720, 480));
}

TEST (EditorWindow, InformationOverlayOpensUnderBypassAndPlacesItsLinkArea)
{
    EditorHarness h;
    auto& e = h.open();
    auto& info = e.informationSegment;

    info.infoToggleBtn.triggerClick();
    h.pump();
    auto image = h.paint();

    EXPECT_EQ (info.getBounds(), Rect (0, 0, 720, 480));
    EXPECT_EQ (info.panelBlockerBtn.getBounds(), Rect (225, 150, 270, 180));
    EXPECT_EQ (info.manualLinkBtn.getBounds(), Rect (338, 268, 45, 12));
    EXPECT_TRUE (info.manualLinkBtn.isEnabled());
    EXPECT_FALSE (isWindowColour (image.getPixelAt (240, 300)));   // the panel is drawn there

    // Bypass on top of it: bypass takes the window; turning it off leaves the panel open.
    e.bypassSegment.bypassToggleBtn.triggerClick();
    h.pump();
    h.paint();
    EXPECT_GT (e.getIndexOfChildComponent (&e.bypassSegment), e.getIndexOfChildComponent (&info));
    EXPECT_EQ (e.bypassSegment.getBounds(), Rect (0, 0, 720, 480));
    e.bypassSegment.bypassToggleBtn.triggerClick();
    h.pump();
    h.paint();
    EXPECT_EQ (info.getBounds(), Rect (0, 0, 720, 480));

    // A click outside the panel lands on the switch and closes it; the link goes dead.
    info.infoToggleBtn.triggerClick();
    h.pump();
    h.paint();
    EXPECT_EQ (info.getBounds(), Rect (522, 443, 190, 30));
    EXPECT_FALSE (info.manualLinkBtn.isEnabled());
}

TEST (EditorWindow, ManualLinkWritesTheManualToTheCacheAndOpensItsFile)
{
    const juce::TemporaryFile cache;
    setenv ("XDG_CACHE_HOME", cache.getFile().getFullPathName().toRawUTF8(), 1);

    EditorHarness h;
    auto& e = h.open();
    juce::Array<juce::File> opened;
    e.informationSegment.openManual = [&] (const juce::File& manual) { opened.add (manual); };

    e.informationSegment.infoToggleBtn.triggerClick();
    h.pump();
    h.paint();
    e.informationSegment.manualLinkBtn.triggerClick();
    h.pump();

    ASSERT_EQ (opened.size(), 1);
    const auto file = opened[0];
    EXPECT_TRUE (file.isAChildOf (cache.getFile()));
    EXPECT_TRUE (file.loadFileAsString().contains ("Front Vocal"));
    EXPECT_TRUE (e.informationSegment.infoToggleBtn.getToggleState());   // the overlay stays open

    // A stale copy is replaced; an identical one is left alone.
    file.replaceWithText ("old");
    EXPECT_EQ (ManualFile::writeToCache(), file);
    EXPECT_TRUE (file.loadFileAsString().contains ("Depth EQ"));
    const auto written = file.getLastModificationTime();
    ManualFile::writeToCache();
    EXPECT_EQ (file.getLastModificationTime(), written);

    unsetenv ("XDG_CACHE_HOME");
    cache.getFile().deleteRecursively();
}

TEST (EditorWindow, BackgroundClickHidesTheDepthLabel)
{
    EditorHarness h;
    auto& e = h.open();
    auto& label = e.depthSegment.sliderLabel;

    e.depthSegment.depthSlider.mouseEnter (mouseEventFor (e.depthSegment.depthSlider));
    ASSERT_TRUE (label.isVisible());

    e.backgroundButton.triggerClick();
    h.pump();
    EXPECT_FALSE (label.isVisible());
}
} // namespace
