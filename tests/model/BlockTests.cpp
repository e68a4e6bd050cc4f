// The block runs of the recurrent cell against its single step: steady and gliding weights,
// mono and stereo, in place, state carried across blocks of uneven lengths, on the vectorised
// kernel and on the portable path, with the shipped weights (the channels apart) and with
// weights that mix the channels.

#include <support/ShippedModels.h>
#include <model/Tovani.h>

#include <gtest/gtest.h>

#include <random>

namespace
{
using Cell = Tovani::HyperGRU<float, 12, 2>;

struct Fixture
{
    nlohmann::json model = shippedModels().front().parse();
    Tovani::Subnet<float, 12> subnet;
    Eigen::MatrixXf ih[3], hh[3];   // three control settings to glide between
    Cell block, single;

    explicit Fixture (bool mixed)
    {
        subnet.loadParams (model);
        block.loadParams (model);
        single.loadParams (model);
        const float controls[3][2] = { { 0.0f, -0.4f }, { 0.6f, 10.0f / 15.0f }, { 0.8f, 1.0f } };
        for (int i = 0; i < 3; ++i)
        {
            subnet.forward (controls[i][0], controls[i][1]);
            ih[i] = subnet.weightIh;
            hh[i] = subnet.weightHh;
            if (mixed)   // the first channel's unit 0 and input into the second's unit 8
                hh[i] (0, 32) = ih[i] (0, 20) = 0.05f * (float) (i + 1);
        }
        block.reset (2, 1024);
        single.reset (2, 1024);
    }
};

/** Runs blocks of the lengths below through forward_block (gliding from one setting to the
    next on every other block) and the same steps through forward_cell, and returns the largest
    difference of any output or of the final state. */
float worstDifference (bool stereo, bool inPlace, bool mixed)
{
    Fixture f (mixed);
    std::mt19937 rng (stereo ? 5 : 6);
    std::normal_distribution<float> noise (0.0f, 0.4f);
    std::vector<Eigen::MatrixXf> ihRamp, hhRamp;
    float worst = 0.0f;
    int setting = 0;

    for (const int n : { 1, 2, 3, 1024, 7, 1, 513, 64, 2, 2048, 100, 1000 })
    {
        std::vector<float> left (n), right (n), outL (n), outR (n);
        for (int t = 0; t < n; ++t)
        {
            left[(size_t) t] = noise (rng);
            right[(size_t) t] = stereo ? noise (rng) : 0.0f;
        }
        const auto refL = left, refR = right;

        float* oL = inPlace ? left.data() : outL.data();
        float* oR = stereo ? (inPlace ? right.data() : outR.data()) : nullptr;
        const float* inR = stereo ? right.data() : nullptr;

        const int from = setting % 3, next = (setting + 1) % 3;
        const bool glide = setting++ % 2 == 1;
        if (glide)
        {
            f.block.forward_block_gliding (left.data(), inR, oL, oR, n, f.ih[from], f.hh[from],
                                           f.ih[next], f.hh[next]);
            Tovani::interpolateMatrix (f.ih[from], f.ih[next], n, ihRamp);
            Tovani::interpolateMatrix (f.hh[from], f.hh[next], n, hhRamp);
        }
        else
        {
            f.block.forward_block (left.data(), inR, oL, oR, n, f.ih[from], f.hh[from]);
        }

        for (int t = 0; t < n; ++t)
        {
            f.single.input << refL[(size_t) t], refR[(size_t) t];
            if (glide)
                f.single.forward_cell (f.single.input, ihRamp[(size_t) t], hhRamp[(size_t) t]);
            else
                f.single.forward_cell (f.single.input, f.ih[from], f.hh[from]);

            worst = std::max (worst, std::abs (oL[t] - f.single.output (0, 0)));
            if (stereo)
                worst = std::max (worst, std::abs (oR[t] - f.single.output (0, 1)));
        }
        worst = std::max (worst, (f.block.output - f.single.output).cwiseAbs().maxCoeff());
    }
    return std::max (worst, (f.block.hidden - f.single.hidden).cwiseAbs().maxCoeff());
}
} // namespace

TEST (RecurrentBlock, AgreesWithTheSingleStepSteadyAndGliding)
{
    for (const bool native : { true, false })
    {
        Tovani::setNativeGruStepAllowed (native);
        for (const bool stereo : { true, false })
            for (const bool inPlace : { false, true })
                for (const bool mixed : { false, true })
                    EXPECT_LT (worstDifference (stereo, inPlace, mixed), 1e-6f)
                        << (native ? "native" : "portable") << (stereo ? " stereo" : " mono")
                        << (inPlace ? " in place" : "") << (mixed ? " mixed" : "");
    }
    Tovani::setNativeGruStepAllowed (true);
}
