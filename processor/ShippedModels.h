#pragma once

#include <model/Tovani.h>

#include <vector>

/** The two compiled-in weight sets, parsed once per process and shared read-only by every
    processor instance: parsing half a megabyte of JSON text per instance cost tens of
    milliseconds and several megabytes of parsed numbers that nothing read again. */
namespace ShippedModels
{

struct WeightSet
{
    /** The hyper-network, loaded; `forward` never run here. Copy it: its results live in it. */
    Tovani::Subnet<float, 12> subnet;

    /** The cell's output layer ("linear_out.weight"), for HyperGRU::outWeight. */
    Eigen::Matrix<float, 12, 2> outWeight;

    /** The 2048-tap front-end kernel in causal order: the stored correlation reversed. */
    std::vector<float> causalKernel;
};

/** The set for the 96 kHz model rate (host rates up to 48 kHz). Parsed on the first call, from
    any thread; a failure to parse throws from that call and the next call tries again. */
const WeightSet& model96();

/** The set for the 192 kHz model rate (host rates above 48 kHz). */
const WeightSet& model192();

} // namespace ShippedModels
