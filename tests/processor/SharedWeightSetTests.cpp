// The weight sets every instance shares: one parse per process, whichever thread asks first,
// holding what a fresh load of each resource holds.

#include <processor/ShippedModels.h>
#include <support/ShippedModels.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

TEST (SharedWeightSets, ParsedOnceAndEqualToAFreshLoad)
{
    const ShippedModels::WeightSet* seen[4] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back ([&seen, i] { seen[i] = &ShippedModels::model96(); });
    for (auto& t : threads)
        t.join();
    EXPECT_TRUE (std::all_of (std::begin (seen), std::end (seen), [&] (auto* s) { return s == seen[0]; }));

    const ShippedModels::WeightSet* sets[2] = { &ShippedModels::model96(), &ShippedModels::model192() };
    const auto resources = shippedModels();
    for (int i = 0; i < 2; ++i)
    {
        auto model = resources[(size_t) i].parse();
        Tovani::Subnet<float, 12> subnet;
        Tovani::HyperGRU<float, 12, 2> cell;
        subnet.loadParams (model);
        cell.loadParams (model);
        auto kernel = model["conv_in.weight"].get<std::vector<float>>();
        std::reverse (kernel.begin(), kernel.end());

        EXPECT_EQ (sets[i]->subnet.projHhWeight, subnet.projHhWeight) << resources[(size_t) i].name;
        EXPECT_EQ (sets[i]->subnet.prelayer4.weight, subnet.prelayer4.weight);
        EXPECT_EQ (sets[i]->outWeight, cell.outWeight);
        EXPECT_EQ (sets[i]->causalKernel, kernel);
    }
}
