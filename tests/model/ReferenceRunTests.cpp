// Each shipped weight set carries a run of its own network computed offline; the C++ classes
// must reproduce it, and a wrong layout must visibly fail to.

#include <support/ShippedModels.h>
#include <model/Tovani.h>

#include <gtest/gtest.h>

#include <functional>

namespace
{
using Subnet = Tovani::Subnet<float, 12>;
using Cell = Tovani::HyperGRU<float, 12, 2>;

constexpr float referenceEq = 0.6f;
constexpr float referenceDepth = 10.0f / 15.0f;
constexpr int inputLength = 4096;
constexpr int outputLength = 2049;

float maxDifference (const Eigen::MatrixXf& actual, const std::vector<float>& expected)
{
    float worst = 0.0f;
    for (Eigen::Index i = 0; i < actual.size(); ++i)
        worst = std::max (worst, std::abs (actual (i) - expected[(size_t) i]));
    return worst;
}

/** The two channels of "x", each through the stored kernel: out[s] = sum k[m] x[s + m]. */
std::vector<std::array<float, 2>> filteredInputs (nlohmann::json& model)
{
    const auto x = model["x"].get<std::vector<float>>();
    const auto k = model["conv_in.weight"].get<std::vector<float>>();
    std::vector<std::array<float, 2>> result (outputLength);

    for (int c = 0; c < 2; ++c)
        for (int s = 0; s < outputLength; ++s)
        {
            double sum = 0.0;
            for (size_t m = 0; m < k.size(); ++m)
                sum += (double) k[m] * x[(size_t) (c * inputLength + s) + m];
            result[(size_t) s][(size_t) c] = (float) sum;
        }

    return result;
}

struct RunErrors
{
    float y = 0.0f, hidden = 0.0f;
};

RunErrors runReference (nlohmann::json& model, const Eigen::MatrixXf& wIh, const Eigen::MatrixXf& wHh)
{
    Cell cell;
    cell.loadParams (model);
    cell.reset (2, outputLength);

    const auto expectedY = model["y"].get<std::vector<float>>();
    RunErrors errors;
    int s = 0;

    for (const auto& sample : filteredInputs (model))
    {
        cell.input (0, 0) = sample[0];
        cell.input (0, 1) = sample[1];
        cell.forward_cell (cell.input, wIh, wHh);

        for (int c = 0; c < 2; ++c)
            errors.y = std::max (errors.y, std::abs (cell.output (0, c) - expectedY[(size_t) (c * outputLength + s)]));
        ++s;
    }

    errors.hidden = maxDifference (cell.hidden, model["hidden"].get<std::vector<float>>());
    return errors;
}

class ShippedModelTest : public ::testing::TestWithParam<ShippedModel>
{
};
} // namespace

TEST_P (ShippedModelTest, ReproducesItsReferenceRun)
{
    auto model = GetParam().parse();
    ASSERT_EQ (model.size(), 19u);

    Subnet subnet;
    subnet.loadParams (model);
    for (const bool native : { false, true })   // the portable path, then the vectorised one
    {
        Tovani::setNativeGruStepAllowed (native);
        subnet.forward (referenceEq, referenceDepth);
        EXPECT_LT (maxDifference (subnet.projIhOutput, model["ih"].get<std::vector<float>>()), 1e-5f) << native;
        EXPECT_LT (maxDifference (subnet.projHhOutput, model["hh"].get<std::vector<float>>()), 1e-5f) << native;
    }

    const auto ih = model["ih"].get<std::vector<float>>();
    for (int g = 0; g < 36; ++g)
    {
        EXPECT_EQ (subnet.weightIh (0, g), subnet.projIhOutput (g));
        EXPECT_EQ (subnet.weightIh (1, g), subnet.projIhOutput (36 + g));
    }

    const auto errors = runReference (model, subnet.weightIh, subnet.weightHh);
    EXPECT_LT (errors.y, 1e-3f);
    EXPECT_LT (errors.hidden, 1e-3f);
}

TEST_P (ShippedModelTest, WrongLayoutsMissTheReferenceByFar)
{
    auto model = GetParam().parse();
    Subnet subnet;
    subnet.loadParams (model);
    subnet.forward (referenceEq, referenceDepth);

    // Recurrent weights filled column by column instead of row by row.
    const Eigen::MatrixXf transposedHh = Eigen::Map<const Eigen::MatrixXf> (subnet.projHhOutput.data(), 12, 36);

    // Gate blocks in the wrong order: update, new, reset.
    const auto rotateGates = [] (const Eigen::MatrixXf& w)
    {
        Eigen::MatrixXf rotated (w.rows(), w.cols());
        rotated << w.middleCols (12, 24), w.leftCols (12);
        return rotated;
    };

    const auto transposed = runReference (model, subnet.weightIh, transposedHh);
    const auto reordered = runReference (model, rotateGates (subnet.weightIh), rotateGates (subnet.weightHh));

    EXPECT_GT (std::max (transposed.y, transposed.hidden), 1e-1f);
    EXPECT_GT (std::max (reordered.y, reordered.hidden), 1e-1f);
}

INSTANTIATE_TEST_SUITE_P (BothRates, ShippedModelTest, ::testing::ValuesIn (shippedModels()),
                          [] (const auto& info) { return std::string (info.param.name); });
