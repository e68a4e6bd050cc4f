#include "NetworkStage.h"

void NetworkStage::load (nlohmann::json& model96, nlohmann::json& model192)
{
    subnet96.loadParams (model96);
    gru96.loadParams (model96);
    subnet192.loadParams (model192);
    gru192.loadParams (model192);
}

void NetworkStage::prepare (bool highRateModel, int numChannels, float eqControl, float depthControl)
{
    highRate = highRateModel;
    channels = numChannels;
    activeSubnet().forward (eqControl, depthControl);
    lastDepthControl = depthControl;
    lastDepthEqControl = eqControl;

    for (auto* m : { &fromIh, &stepIh, &glideIh })
        m->resize (Subnet::numInputs, Subnet::gateWidth);
    for (auto* m : { &fromHh, &stepHh, &glideHh })
        m->resize (12, Subnet::gateWidth);

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
    const bool gliding = depthControl != lastDepthControl || eqControl != lastDepthEqControl;

    if (gliding)
    {
        fromIh = subnet.weightIh;
        fromHh = subnet.weightHh;
        subnet.forward (eqControl, depthControl);
        lastDepthControl = depthControl;
        lastDepthEqControl = eqControl;

        if (n >= 3)
        {
            const auto d = static_cast<float> (n - 1);
            stepIh = (subnet.weightIh - fromIh) / d;
            stepHh = (subnet.weightHh - fromHh) / d;
        }
    }

    gru.numSamples = n;

    for (int t = 0; t < n; ++t)
    {
        for (int c = 0; c < channels; ++c)
            gru.input (0, c) = samples[c][t];

        if (gliding && t < n - 1)
        {
            if (t == 0)
            {
                gru.forward_cell (gru.input, fromIh, fromHh);
            }
            else
            {
                glideIh.noalias() = stepIh * static_cast<float> (t) + fromIh;
                glideHh.noalias() = stepHh * static_cast<float> (t) + fromHh;
                gru.forward_cell (gru.input, glideIh, glideHh);
            }
        }
        else if (gliding && n == 1)
        {
            gru.forward_cell (gru.input, fromIh, fromHh);
        }
        else
        {
            gru.forward_cell (gru.input, subnet.weightIh, subnet.weightHh);
        }

        for (int c = 0; c < channels; ++c)
            samples[c][t] = gru.output (0, c);
    }
}
