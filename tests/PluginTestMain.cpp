#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

// The processor and editor need JUCE's message manager, as they have in a host.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
