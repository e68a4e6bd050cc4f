#pragma once

#include "BypassFade.h"
#include "GainStage.h"
#include "InputGuard.h"
#include "InputKernel.h"
#include "NetworkStage.h"
#include "Resampler.h"

#include <juce_audio_basics/juce_audio_basics.h>

/** What the road needs to know of the parameters for one block, read once per block. */
struct RoadControls
{
    float inputGain = 1.0f;
    float outputGain = 1.0f;
    float depthControl = 0.0f;
    float eqControl = 0.0f;
    bool bypassed = false;
};

/** The host's preparation, as the road sees it. */
struct RoadSpec
{
    double hostRate = 48000.0;
    int maxBlock = 512;
    int numChannels = 2;
};

/** The signal road: input gain, input meters, the input guard, resampling up to the model rate,
    the input kernel, the network, resampling back, output gain, output meters, and the bypass
    fade. The resampler's own filter keeps the network's output below the host's Nyquist
    frequency on the way back; no other low-pass is needed. Every stage is sized in `prepare` for the host's largest block,
    so that a block of any length up to it runs with every history carried over and nothing
    allocated. */
class Road
{
public:
    static constexpr double minHostRate = 8000.0;
    static constexpr double maxHostRate = 768000.0;
    static constexpr int maxHostBlock = 65536;
    static constexpr double highRateThreshold = 48000.0;

    /** How long the shipped models ring after a full-scale burst before they fall below -90 dBFS,
        at their slowest setting, with a margin (0.038 s at 44.1 kHz, Depth +15 at Depth EQ 1;
        measured through the built plug-in after half a second of full-scale noise, host latency
        aside). */
    static constexpr double ringSeconds = 0.05;

    /** Sizes every stage; returns false (and leaves the road unprepared) for a host rate outside
        what the road supports. Runs on the message thread. */
    bool prepare (const RoadSpec& spec, const std::vector<float>& kernel96, const std::vector<float>& kernel192,
                  const RoadControls& controls);

    /** Silence in every history; the next block starts from these controls without a glide. */
    void reset (const RoadControls& controls) noexcept;

    bool isPrepared() const noexcept { return prepared; }
    int latencySamples() const noexcept { return latency; }
    double tailSeconds() const noexcept { return prepared ? latency / spec.hostRate + ringSeconds : ringSeconds; }
    double modelRate() const noexcept { return rate; }
    int maxBlock() const noexcept { return spec.maxBlock; }

    /** Processes a block of at most maxBlock() samples in place. The meters are callables taking
        the block after each gain stage; they are skipped while bypassed. */
    template <typename InputMeter, typename OutputMeter>
    void process (juce::AudioBuffer<float>& block, const RoadControls& controls,
                  InputMeter&& meterInput, OutputMeter&& meterOutput) noexcept
    {
        const int n = block.getNumSamples();
        const bool metering = ! controls.bypassed;

        bypassFade.captureDry (block);
        inputGain.process (block, controls.inputGain);

        if (metering)
            meterInput (block);

        for (int c = 0; c < spec.numChannels; ++c)
            InputGuard::process (block.getWritePointer (c), n);

        float* const* model = modelBuffer.getArrayOfWritePointers();
        const int M = resampler.up (block.getArrayOfReadPointers(), n, model);
        kernel.process (model, spec.numChannels, M);
        network.process (model, M, controls.eqControl, controls.depthControl);

        resampler.down (modelBuffer.getArrayOfReadPointers(), M, block.getArrayOfWritePointers(), n);
        outputGain.process (block, controls.outputGain);

        if (metering)
            meterOutput (block);

        bypassFade.process (block, controls.bypassed);
    }

    NetworkStage network;

    // The stages, in the road's order; open so that the benchmark can time them one by one.
    GainStage inputGain, outputGain;
    road::Resampler resampler;
    InputKernel kernel;
    BypassFade bypassFade;
    juce::AudioBuffer<float> modelBuffer;

private:
    RoadSpec spec;
    double rate = 96000.0;
    bool prepared = false;
    int latency = 0;
};
