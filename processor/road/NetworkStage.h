#pragma once

#include <processor/ShippedModels.h>

#include <model/Tovani.h>

/** The learned part of the road: the hyper-network turns the controls into recurrent weights and
    the GRU runs the model-rate block through them, one step per sample. One model pair per model
    rate; preparation chooses the active one.

    When the controls change, the weights glide linearly from the old set to the new one across
    the block in which the change is seen: its first step runs the old weights, its last the new.
    The cell forms each step's weights as it takes the step, so a glide costs no memory that grows
    with the block. */
class NetworkStage
{
public:
    using Subnet = Tovani::Subnet<float, 12>;
    using HyperGRU = Tovani::HyperGRU<float, 12, 2>;
    using Matrix = HyperGRU::Matrix;

    Subnet subnet96, subnet192;
    HyperGRU gru96, gru192;

    /** The control values the active hyper-network last ran with. */
    float lastDepthControl = 0.0f;
    float lastDepthEqControl = 0.0f;

    /** Takes the weights of the two shipped models. */
    void load (const ShippedModels::WeightSet& model96, const ShippedModels::WeightSet& model192);

    /** Chooses the model and runs its hyper-network for the controls; may allocate. */
    void prepare (bool highRateModel, int numChannels, float eqControl, float depthControl);

    /** Silence in the recurrent state. */
    void reset() noexcept;

    void process (float* const* channels, int n, float eqControl, float depthControl) noexcept;

    Subnet& activeSubnet() noexcept { return highRate ? subnet192 : subnet96; }
    HyperGRU& activeGru() noexcept { return highRate ? gru192 : gru96; }
    bool usesHighRateModel() const noexcept { return highRate; }

private:
    Matrix fromIh, fromHh;
    bool highRate = false;
    int channels = 1;
};
