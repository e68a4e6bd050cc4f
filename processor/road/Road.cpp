#include "Road.h"

#include <cmath>

bool Road::prepare (const RoadSpec& newSpec, const std::vector<float>& kernel96, const std::vector<float>& kernel192,
                    const RoadControls& controls)
{
    prepared = false;

    if (! (newSpec.hostRate >= minHostRate && newSpec.hostRate <= maxHostRate))
        return false;

    spec = newSpec;
    spec.maxBlock = juce::jlimit (1, maxHostBlock, spec.maxBlock);
    spec.numChannels = juce::jlimit (1, 2, spec.numChannels);

    const bool highRate = spec.hostRate > highRateThreshold;
    rate = highRate ? 192000.0 : 96000.0;

    resampler.prepare (spec.hostRate, rate, spec.maxBlock, spec.numChannels);
    const int maxModel = resampler.maxModelSamples();
    modelBuffer.setSize (spec.numChannels, maxModel);

    const auto& kernelTaps = highRate ? kernel192 : kernel96;
    kernel.prepare (kernelTaps.data(), (int) kernelTaps.size(), maxModel, spec.numChannels);

    network.prepare (highRate, spec.numChannels, controls.eqControl, controls.depthControl);

    latency = resampler.latencySamples();

    bypassFade.prepare (spec.hostRate, spec.maxBlock, spec.numChannels, latency);
    prepared = true;
    reset (controls);
    return true;
}

void Road::reset (const RoadControls& controls) noexcept
{
    inputGain.reset (controls.inputGain);
    outputGain.reset (controls.outputGain);
    resampler.reset();
    kernel.reset();
    network.reset();
    bypassFade.reset (controls.bypassed ? 1.0f : 0.0f);
    modelBuffer.clear();
}
