// Arbitrary bytes as a saved state, as a host might hand back a corrupted or hostile project, while
// another thread plays audio through the same instance as a host's audio thread does: the
// processor must ignore what is not its own, restore what is, never hold a non-finite parameter,
// save what reads back to the same values, and keep playing finite audio throughout.
//
// An input that starts with the framework's XML block header is taken as a whole block; any other
// input is the XML text and gets the header here, so that the dictionary's tokens reach the reader.

#include <processor/PluginProcessor.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

namespace
{
struct Player
{
    TovaniAudioProcessor processor;
    std::atomic<bool> keepPlaying { true };
    std::thread audio;

    Player()
    {
        processor.setPlayConfigDetails (2, 2, 48000.0, 64);
        processor.prepareToPlay (48000.0, 64);
        audio = std::thread ([this]
        {
            juce::AudioBuffer<float> buffer (2, 64);
            juce::MidiBuffer midi;
            for (long block = 0; keepPlaying; ++block)
            {
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < 64; ++i)
                        buffer.setSample (c, i, (float) ((i * 37 + c * 11 + block) % 64) / 64.0f - 0.5f);
                processor.processBlock (buffer, midi);

                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < 64; ++i)
                        if (! std::isfinite (buffer.getSample (c, i)))
                            __builtin_trap();

                std::this_thread::sleep_for (std::chrono::microseconds (500));
            }
        });
    }
};

std::vector<float> plainValues (TovaniAudioProcessor& processor)
{
    std::vector<float> values;
    for (auto* parameter : processor.getParameters())
    {
        const auto v = parameter->getValue();
        if (! std::isfinite (v))
            __builtin_trap();
        values.push_back (v);
    }
    return values;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    // Made once and never destroyed: the framework's shutdown list is itself a static, made after
    // the initialiser, so letting both die at exit would free it twice. The player's thread runs
    // until the process ends.
    [[maybe_unused]] static auto* juce = new juce::ScopedJuceInitialiser_GUI;
    static auto& player = *new Player;
    auto& processor = player.processor;

    juce::MemoryBlock block;
    if (size >= 4 && std::memcmp (data, "VC2!", 4) == 0)
    {
        block.append (data, size);
    }
    else
    {
        juce::MemoryOutputStream out (block, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) size);
        out.write (data, size);
        out.writeByte (0);
    }

    processor.setStateInformation (block.getData(), (int) block.getSize());
    const auto restored = plainValues (processor);

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    processor.setStateInformation (saved.getData(), (int) saved.getSize());

    if (plainValues (processor) != restored)
        __builtin_trap();

    return 0;
}
