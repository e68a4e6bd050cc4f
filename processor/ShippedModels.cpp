#include "ShippedModels.h"

#include <BinaryData.h>

#include <algorithm>
#include <string>

namespace ShippedModels
{
namespace
{
WeightSet load (const char* data, int size)
{
    auto model = nlohmann::json::parse (std::string (data, static_cast<std::size_t> (size)), nullptr, true, false);

    WeightSet set;
    set.subnet.loadParams (model);

    Tovani::HyperGRU<float, 12, 2> cell;
    cell.loadParams (model);
    set.outWeight = cell.outWeight;

    set.causalKernel = Tovani::readModelArray (model, "conv_in.weight", 2048);
    set.causalKernel.resize (2048);
    std::reverse (set.causalKernel.begin(), set.causalKernel.end());
    return set;
}
} // namespace

// Function-local statics: built on first use, once, with other threads waiting for it.
const WeightSet& model96()
{
    static const WeightSet set = load (BinaryData::model96_json, BinaryData::model96_jsonSize);
    return set;
}

const WeightSet& model192()
{
    static const WeightSet set = load (BinaryData::model192_json, BinaryData::model192_jsonSize);
    return set;
}

} // namespace ShippedModels
