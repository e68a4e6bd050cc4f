// Opening and closing the window many times on a processor that keeps processing: the teardown
// order (attachments before widgets, look-and-feels detached before they go) must hold up, and
// nothing of a closed window may stay behind.

#include "EditorHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace
{
long residentKilobytes()
{
    std::ifstream status ("/proc/self/status");
    std::string line;
    while (std::getline (status, line))
        if (line.rfind ("VmRSS:", 0) == 0)
            return std::stol (line.substr (6));
    return -1;
}

TEST (EditorLifecycle, OpenAndCloseManyTimesWhileTheProcessorRuns)
{
    ProcessorHarness host;
    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 };

    // The audio thread keeps writing the meters that each window's timer reads.
    std::thread audio ([&]
    {
        while (running.load())
        {
            auto buffer = host.sineBlock (512, 0.4f);
            host.process (buffer);
            ++blocks;
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    });

    constexpr int warmUp = 10;
    constexpr int cycles = 60;
    long afterWarmUp = 0;
    const auto started = juce::Time::getMillisecondCounterHiRes();

    for (int i = 0; i < warmUp + cycles; ++i)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (host->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        auto& e = dynamic_cast<TovaniAudioProcessorEditor&> (*editor);
        showIfAsked (e);

        // Paint, let the meter tick and the attachments talk, move a few controls, close.
        juce::Image image (juce::Image::ARGB, 720, 480, true);
        {
            juce::Graphics g (image);
            e.paintEntireComponent (g, false);
        }
        e.depthSegment.depthSlider.setValue ((i % 30) - 15.0, juce::sendNotificationAsync);
        e.ioSegment.linkToggleBtn.setToggleState (i % 2 == 0, juce::sendNotification);
        e.ioSegment.inputSlider.setValue ((i % 10) * 0.5, juce::sendNotificationSync);
        e.bypassSegment.bypassToggleBtn.setToggleState (i % 7 == 0, juce::sendNotification);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (i % 10 == 0 ? 400 : 10);
        host->editorBeingDeleted (editor.get());   // as the plug-in wrapper does on closing
        editor.reset();
        EXPECT_EQ (host->getActiveEditor(), nullptr);

        if (i + 1 == warmUp)
            afterWarmUp = residentKilobytes();
    }

    const auto elapsed = juce::Time::getMillisecondCounterHiRes() - started;
    running = false;
    audio.join();

    const long growth = residentKilobytes() - afterWarmUp;
    std::printf ("[ figures  ] %d windows in %.0f ms (%.1f ms each) while %d blocks ran; "
                 "resident memory grew %ld kB after warm-up\n",
                 warmUp + cycles, elapsed, elapsed / (warmUp + cycles), blocks.load(), growth);

    // One open window holds well over 10 MB of decoded artwork; sixty leaked ones would show.
    EXPECT_LT (growth, 64 * 1024);
    EXPECT_GT (blocks.load(), 0);
    EXPECT_FLOAT_EQ (host->valueTreeState.getRawParameterValue ("Bypass")->load(), 0.0f);
}
} // namespace
