#include "NetworkStage.h"

void NetworkStage::load (const ShippedModels::WeightSet& model96, const ShippedModels::WeightSet& model192)
{
    subnet96 = model96.subnet;
    gru96.outWeight = model96.outWeight;
    subnet192 = model192.subnet;
    gru192.outWeight = model192.outWeight;
}

void NetworkStage::prepare (bool highRateModel, int numChannels, float eqControl, float depthControl)
{
    highRate = highRateModel;
    channels = numChannels;
    activeSubnet().forward (eqControl, depthControl);
    lastDepthControl = depthControl;
    lastDepthEqControl = eqControl;

    fromIh.resize (Subnet::numInputs, Subnet::gateWidth);
    fromHh.resize (12, Subnet::gateWidth);

    activeGru().reset (numChannels, 0);

    // One step sizes the cell's working rows, so that the audio thread never does.
    auto& gru = activeGru();
    gru.forward_cell (gru.input, activeSubnet().weightIh, activeSubnet().weightHh);
    reset();
}

void NetworkStage::reset() noexcept
{
    auto& gru = activeGru();
    gru.numChannels = channels;
    gru.hidden.setZero();
    gru.input.setZero();
}

void NetworkStage::process (float* const* samples, int n, float eqControl, float depthControl) noexcept
{
    auto& subnet = activeSubnet();
    auto& gru = activeGru();
    float* left = samples[0];
    float* right = channels == 2 ? samples[1] : nullptr;
    gru.numSamples = n;

    if (depthControl == lastDepthControl && eqControl == lastDepthEqControl)
    {
        gru.forward_block (left, right, left, right, n, subnet.weightIh, subnet.weightHh);
        return;
    }

    fromIh = subnet.weightIh;
    fromHh = subnet.weightHh;
    subnet.forward (eqControl, depthControl);
    lastDepthControl = depthControl;
    lastDepthEqControl = eqControl;
    gru.forward_block_gliding (left, right, left, right, n, fromIh, fromHh, subnet.weightIh, subnet.weightHh);
}
