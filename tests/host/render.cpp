// Renders a WAV file through the built plug-in as a DAW would: loaded through JUCE's hosting
// classes, prepared at the file's rate, fed in blocks of a fixed length.
//
//   lumbrane_render IN.wav OUT.wav [--block 512] [--format VST3|LV2] [--set "Depth=7.5"] ...
//
// The output is a 32-bit float stereo WAV at the input's rate (a mono input plays on both
// channels). Parameter values are in the parameters' own units (dB, Depth, Depth EQ; 0 or 1 for
// switches), set before the host prepares. Prints the reported latency and tail.

#include "PluginHost.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <iostream>

namespace
{
int fail (const juce::String& message)
{
    std::cerr << "lumbrane_render: " << message << std::endl;
    return 1;
}

bool setByName (juce::AudioPluginInstance& plugin, const juce::String& name, float value)
{
    auto* p = host::findParameter (plugin, name);
    if (p == nullptr)
        return false;
    if (p->isBoolean() || p->getNumSteps() == 2)
        p->setValueNotifyingHost (value > 0.5f ? 1.0f : 0.0f);
    else
        host::setParameter (plugin, name, value);
    return true;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (argv[i]);

    juce::StringArray positional, settings;
    int block = 512;
    std::string format = "VST3";
    for (int i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--block" && i + 1 < args.size())
            block = args[++i].getIntValue();
        else if (args[i] == "--format" && i + 1 < args.size())
            format = args[++i].toStdString();
        else if (args[i] == "--set" && i + 1 < args.size())
            settings.add (args[++i]);
        else
            positional.add (args[i]);
    }
    if (positional.size() != 2 || block < 1)
        return fail ("usage: lumbrane_render IN.wav OUT.wav [--block N] [--format VST3|LV2] [--set Name=value]...");

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (juce::File::getCurrentWorkingDirectory().getChildFile (positional[0])));
    if (reader == nullptr)
        return fail ("cannot read " + positional[0]);

    const double rate = reader->sampleRate;
    const auto length = (int) reader->lengthInSamples;
    juce::AudioBuffer<float> audio (2, length);
    reader->read (&audio, 0, length, 0, true, true);
    if (reader->numChannels == 1)
        audio.copyFrom (1, 0, audio, 0, 0, length);

    juce::String error;
    auto plugin = host::loadPlugin (format, LUMBRANE_VST3_BINARY, LUMBRANE_LV2_BINARY, LUMBRANE_LV2_URI, rate, block, error);
    if (plugin == nullptr)
        return fail (error);

    for (const auto& setting : settings)
        if (! setByName (*plugin, setting.upToFirstOccurrenceOf ("=", false, false).trim(),
                         setting.fromFirstOccurrenceOf ("=", false, false).getFloatValue()))
            return fail ("no parameter in " + setting);

    if (! host::prepareStereo (*plugin, rate, block))
        return fail ("the plug-in refuses a stereo layout");

    // Whole blocks only, as a DAW plays: the last one is padded with silence.
    juce::AudioBuffer<float> chunk (2, block);
    juce::MidiBuffer midi;
    for (int done = 0; done < length; done += block)
    {
        const int n = std::min (block, length - done);
        chunk.clear();
        for (int c = 0; c < 2; ++c)
            chunk.copyFrom (c, 0, audio, c, done, n);
        plugin->processBlock (chunk, midi);
        for (int c = 0; c < 2; ++c)
            audio.copyFrom (c, done, chunk, c, 0, n);
    }

    const auto out = juce::File::getCurrentWorkingDirectory().getChildFile (positional[1]);
    out.deleteFile();
    std::unique_ptr<juce::OutputStream> stream (out.createOutputStream());
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (stream == nullptr ? nullptr : wav.createWriterFor (stream.get(), rate, 2, 32, {}, 0));
    if (writer == nullptr)
        return fail ("cannot write " + positional[1]);
    stream.release();   // the writer owns it now
    writer->writeFromAudioSampleBuffer (audio, 0, length);

    // A VST3 announces a new latency through a restart request served on the message thread.
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    std::cout << "latency " << plugin->getLatencySamples() << " tail " << plugin->getTailLengthSeconds() << std::endl;
    return 0;
}
