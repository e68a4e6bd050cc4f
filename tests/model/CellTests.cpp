// The hyper-network and the recurrent cell: their arithmetic, their determinism, and that after
// the first call they run without touching the heap (they run on the audio thread).

#include <support/AllocationCounter.h>
#include <support/ShippedModels.h>
#include <support/StraightforwardGru.h>
#include <model/Tovani.h>

#include <gtest/gtest.h>

#include <random>

namespace
{
using Subnet = Tovani::Subnet<float, 12>;
using Cell = Tovani::HyperGRU<float, 12, 2>;

struct LoadedPair
{
    nlohmann::json model = shippedModels().front().parse();
    Subnet subnet;
    Cell cell;

    LoadedPair()
    {
        subnet.loadParams (model);
        cell.loadParams (model);
    }
};

Eigen::MatrixXf randomMatrix (int rows, int cols, float scale, unsigned seed)
{
    std::mt19937 rng (seed);
    std::normal_distribution<float> dist (0.0f, scale);
    Eigen::MatrixXf m (rows, cols);
    for (Eigen::Index i = 0; i < m.size(); ++i)
        m (i) = dist (rng);
    return m;
}
} // namespace

TEST (HyperNetwork, LeakyRectifierAndBiasOnlyResponse)
{
    Eigen::MatrixXf v (1, 3);
    v << -2.0f, 0.0f, 1.5f;
    Tovani::leakyReluInPlace (v);
    EXPECT_EQ (v (0, 0), 0.2f * -2.0f);
    EXPECT_EQ (v (0, 1), 0.0f);
    EXPECT_EQ (v (0, 2), 1.5f);

    LoadedPair pair;
    pair.subnet.forward (0.0f, 0.0f);
    Eigen::MatrixXf expected = pair.subnet.inBias;
    Tovani::leakyReluInPlace (expected);
    EXPECT_EQ (pair.subnet.inOutput, expected);
}

TEST (HyperNetwork, SameControlsGiveBitIdenticalWeights)
{
    LoadedPair pair;
    pair.subnet.forward (0.4f, -0.3f);
    const Eigen::MatrixXf ih = pair.subnet.weightIh, hh = pair.subnet.weightHh;

    pair.subnet.forward (0.8f, 1.0f);
    EXPECT_NE (pair.subnet.weightHh, hh);

    pair.subnet.forward (0.4f, -0.3f);
    EXPECT_EQ (pair.subnet.weightIh, ih);
    EXPECT_EQ (pair.subnet.weightHh, hh);
    EXPECT_EQ (pair.subnet.weightIh.rows(), 2);
    EXPECT_EQ (pair.subnet.weightHh.cols(), 36);
}

TEST (RecurrentCell, RestsAtZeroAndIsDeterministic)
{
    LoadedPair pair;
    pair.subnet.forward (0.6f, 0.5f);

    pair.cell.reset (2, 64);
    EXPECT_TRUE (pair.cell.input.isZero());
    pair.cell.forward_cell (pair.cell.input, pair.subnet.weightIh, pair.subnet.weightHh);
    EXPECT_TRUE (pair.cell.hidden.isZero());
    EXPECT_TRUE (pair.cell.output.isZero());
    EXPECT_TRUE (pair.cell.resetGate.isApproxToConstant (0.5f));
    EXPECT_TRUE (pair.cell.updateGate.isApproxToConstant (0.5f));

    Cell twin;
    twin.loadParams (pair.model);
    twin.reset (2, 64);
    const auto inputs = randomMatrix (500, 2, 0.3f, 7);

    for (int t = 0; t < inputs.rows(); ++t)
    {
        pair.cell.input = inputs.row (t);
        twin.input = inputs.row (t);
        pair.cell.forward_cell (pair.cell.input, pair.subnet.weightIh, pair.subnet.weightHh);
        twin.forward_cell (twin.input, pair.subnet.weightIh, pair.subnet.weightHh);
        ASSERT_EQ (pair.cell.output, twin.output) << "step " << t;
    }
}

TEST (RecurrentCell, UpdateGateKeepsOrReplacesTheState)
{
    Cell cell;
    cell.outWeight.setIdentity();
    cell.reset (2, 1);
    cell.hidden = Eigen::MatrixXf::Constant (1, 12, 0.25f);

    Eigen::MatrixXf wIh = Eigen::MatrixXf::Zero (2, 36);
    Eigen::MatrixXf wHh = Eigen::MatrixXf::Zero (12, 36);
    Eigen::MatrixXf x (1, 2);
    x << 1.0f, 0.0f;
    wIh.block (0, 24, 1, 12).setConstant (0.5f);   // new-state input: tanh(0.5)

    wIh.block (0, 12, 1, 12).setConstant (100.0f);   // z = 1: keep
    cell.forward_cell (x, wIh, wHh);
    EXPECT_TRUE (cell.hidden.isApproxToConstant (0.25f));

    wIh.block (0, 12, 1, 12).setConstant (-100.0f);   // z = 0: replace by n
    cell.forward_cell (x, wIh, wHh);
    EXPECT_TRUE (cell.hidden.isApproxToConstant (std::tanh (0.5f)));
    EXPECT_FLOAT_EQ (cell.output (0, 0), std::tanh (0.5f));
}

TEST (RecurrentCell, BothPathsMatchTheStraightforwardForm)
{
    // The vectorised kernel where the CPU has it, and the portable path everywhere.
    for (const bool native : { true, false })
    {
        Tovani::setNativeGruStepAllowed (native);
        LoadedPair pair;
        StraightforwardGru plain;
        plain.outWeight = pair.cell.outWeight;
        pair.cell.reset (2, 1);

        // Large random weights drive every gate and the tanh well into saturation too.
        const auto wIh = randomMatrix (2, 36, 1.5f, 11);
        const auto wHh = randomMatrix (12, 36, 0.8f, 12);
        const auto inputs = randomMatrix (2000, 2, 0.7f, 13);

        // The output is the state read out by weights of up to ten here, so its rounding is
        // measured against the size of that read-out.
        const float readOutScale = pair.cell.outWeight.cwiseAbs().colwise().sum().maxCoeff();
        float worstHidden = 0.0f, worstOutput = 0.0f;
        for (int t = 0; t < inputs.rows(); ++t)
        {
            const Eigen::MatrixXf x = inputs.row (t);
            pair.cell.forward_cell (x, wIh, wHh);
            plain.forward (x, wIh, wHh);
            worstOutput = std::max (worstOutput, (pair.cell.output - plain.output).cwiseAbs().maxCoeff());
            worstHidden = std::max (worstHidden, (pair.cell.hidden - plain.hidden).cwiseAbs().maxCoeff());
            for (const auto* gate : { &pair.cell.resetGate, &pair.cell.updateGate, &pair.cell.newGate })
                ASSERT_EQ (gate->cols(), 12);
        }
        EXPECT_LT (worstHidden, 1e-5f) << (native ? "native" : "portable");
        EXPECT_LT (worstOutput, 1e-5f * readOutScale) << (native ? "native" : "portable");
        EXPECT_LT ((pair.cell.newGate - ((pair.cell.inputGates.rightCols (12).array()
                    + pair.cell.resetGate.array() * pair.cell.hiddenGates.rightCols (12).array()).tanh().matrix()))
                       .cwiseAbs().maxCoeff(), 1e-5f);
    }
    Tovani::setNativeGruStepAllowed (true);
}

TEST (RecurrentCell, ASlowModeDecaysToSilenceOnBothPaths)
{
    // A unit with its pole just inside the unit circle (about 50 Hz at 96 kHz), as a trained
    // model has: once its input stops, its state must run down to nothing rather than rest on
    // the arithmetic's rounding, which would leave a constant offset in the output.
    for (const bool native : { true, false })
    {
        Tovani::setNativeGruStepAllowed (native);
        LoadedPair pair;
        pair.cell.reset (2, 1);

        const float pole = 0.9967f;
        Eigen::MatrixXf wIh = Eigen::MatrixXf::Zero (2, 36), wHh = Eigen::MatrixXf::Zero (12, 36);
        for (int unit = 0; unit < 12; ++unit)
        {
            wIh (unit % 2, 24 + unit) = unit % 2 == 0 ? 0.01f : -0.01f;
            wHh (unit, 24 + unit) = 4.0f * pole - 2.0f;   // r = 0.5: 0.5 + 0.25 w = pole
        }

        Eigen::MatrixXf x (1, 2);
        for (int t = 0; t < 96000; ++t)
        {
            x << (t < 2000 ? 1.0f : 0.0f), (t < 2000 ? -0.7f : 0.0f);
            pair.cell.forward_cell (x, wIh, wHh);
        }
        EXPECT_LT (pair.cell.hidden.cwiseAbs().maxCoeff(), 1e-12f) << (native ? "native" : "portable");
    }
    Tovani::setNativeGruStepAllowed (true);
}

TEST (RecurrentCell, AllocatesNothingAfterTheFirstCall)
{
    if (! AllocationCounter::isAvailable())
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    LoadedPair pair;
    pair.subnet.forward (0.2f, 0.1f);
    pair.cell.reset (2, 16);
    pair.cell.forward_cell (pair.cell.input, pair.subnet.weightIh, pair.subnet.weightHh);

    AllocationCounter counter;
    pair.subnet.forward (0.5f, -0.7f);
    for (int t = 0; t < 256; ++t)
    {
        pair.cell.input (0, 0) = std::sin (0.1f * (float) t);
        pair.cell.forward_cell (pair.cell.input, pair.subnet.weightIh, pair.subnet.weightHh);
    }
    EXPECT_EQ (counter.count(), 0u);

    // The counter does see the allocations it is meant to catch.
    AllocationCounter control;
    Eigen::MatrixXf fresh = pair.subnet.weightHh * 2.0f;
    EXPECT_GT (control.count(), 0u);
}
