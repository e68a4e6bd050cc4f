// Arbitrary bytes as a saved state, as a host might hand back a corrupted project: the processor
// must ignore what is not its own, restore what is, and keep processing.

#include <processor/PluginProcessor.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // Made once and never destroyed: the framework's shutdown list is itself a static, made after
    // the initialiser, so letting both die at exit would free it twice.
    [[maybe_unused]] static auto* juce = new juce::ScopedJuceInitialiser_GUI;
    static auto& processor = *new TovaniAudioProcessor;
    static juce::AudioBuffer<float> buffer (2, 64);
    static juce::MidiBuffer midi;

    processor.setStateInformation (data, (int) size);

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 64; ++i)
            buffer.setSample (c, i, (float) ((i * 37 + c * 11) % 64) / 64.0f - 0.5f);
    processor.processBlock (buffer, midi);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 64; ++i)
            if (! std::isfinite (buffer.getSample (c, i)))
                __builtin_trap();

    return 0;
}
