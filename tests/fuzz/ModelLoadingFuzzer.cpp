// Mutated model objects through the loaders and one run of the network. The fuzz input is a JSON
// patch laid over a real weight set, so that mutations reach deep into a valid document: every
// failure must be the JSON library's exception (or our short-array refusal in its style).

#include <support/ShippedModels.h>
#include <model/Tovani.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const nlohmann::json shipped = shippedModels().front().parse();

    auto patch = nlohmann::json::parse (data, data + size, nullptr, false);
    if (patch.is_discarded())
        return 0;

    auto model = shipped;
    if (patch.is_object())
        model.merge_patch (patch);
    else
        model = patch;

    try
    {
        Tovani::Subnet<float, 12> subnet;
        Tovani::HyperGRU<float, 12, 2> cell;
        subnet.loadParams (model);
        cell.loadParams (model);
        const auto kernel = model["conv_in.weight"].get<std::vector<float>>();

        subnet.forward (0.6f, kernel.empty() ? 0.0f : kernel.back());
        cell.reset (2, 16);
        for (int t = 0; t < 16; ++t)
        {
            cell.input (0, 0) = t == 0 ? 1.0f : 0.0f;
            cell.forward_cell (cell.input, subnet.weightIh, subnet.weightHh);
        }
    }
    catch (const nlohmann::json::exception&)
    {
    }

    return 0;
}
