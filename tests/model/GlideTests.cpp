// The weight glide after a control change: exact ends, linear steps, and the counts a caller
// may pass (the processor passes the model-rate block length, which can be 1).

#include <model/InterpolateMatrix.h>

#include <gtest/gtest.h>

namespace
{
Eigen::MatrixXf scalar (float v) { return Eigen::MatrixXf::Constant (1, 1, v); }

std::vector<float> values (const std::vector<Eigen::MatrixXf>& glide)
{
    std::vector<float> result;
    for (const auto& m : glide)
        result.push_back (m (0, 0));
    return result;
}
} // namespace

TEST (WeightGlide, StepsLinearlyWithExactEnds)
{
    auto from = scalar (0.0f), to = scalar (1.0f);
    std::vector<Eigen::MatrixXf> glide;

    Tovani::interpolateMatrix (from, to, 5, glide);
    EXPECT_EQ (values (glide), (std::vector<float> { 0.0f, 0.25f, 0.5f, 0.75f, 1.0f }));

    Tovani::interpolateMatrix (from, to, 3, glide);
    EXPECT_EQ (values (glide), (std::vector<float> { 0.0f, 0.5f, 1.0f }));

    Tovani::interpolateMatrix (from, to, 2, glide);
    EXPECT_EQ (values (glide), (std::vector<float> { 0.0f, 1.0f }));

    // The last entry is `to` itself, not from + (count - 1) steps, which may differ in the last bit.
    auto a = scalar (0.1f), b = scalar (0.7f);
    Tovani::interpolateMatrix (a, b, 1023, glide);
    ASSERT_EQ (glide.size(), 1023u);
    EXPECT_EQ (glide.front() (0, 0), 0.1f);
    EXPECT_EQ (glide.back() (0, 0), 0.7f);
    for (size_t i = 1; i < glide.size(); ++i)
        EXPECT_GT (glide[i] (0, 0), glide[i - 1] (0, 0));
}

TEST (WeightGlide, CountsBelowTwoGiveJustBothEnds)
{
    auto from = scalar (-2.0f), to = scalar (3.0f);
    std::vector<Eigen::MatrixXf> glide;

    for (int count : { 1, 0, -7 })
    {
        Tovani::interpolateMatrix (from, to, count, glide);
        EXPECT_EQ (values (glide), (std::vector<float> { -2.0f, 3.0f })) << "count " << count;
    }
}

TEST (WeightGlide, EqualEndsAndReuseOfTheOutput)
{
    Eigen::MatrixXf weights = Eigen::MatrixXf::Random (12, 36);
    auto same = weights;
    std::vector<Eigen::MatrixXf> glide (40, Eigen::MatrixXf::Ones (3, 3));   // stale entries to discard

    Tovani::interpolateMatrix (weights, same, 6, glide);
    ASSERT_EQ (glide.size(), 6u);
    for (const auto& entry : glide)
    {
        ASSERT_EQ (entry.rows(), 12);
        EXPECT_EQ (entry, weights);
    }
}

TEST (WeightGlide, RefusesEndsOfDifferentSizes)
{
    Eigen::MatrixXf from = Eigen::MatrixXf::Zero (12, 36);
    Eigen::MatrixXf to = Eigen::MatrixXf::Ones (2, 36);
    std::vector<Eigen::MatrixXf> glide;
    EXPECT_THROW (Tovani::interpolateMatrix (from, to, 8, glide), std::invalid_argument);

    // Same number of elements in another shape: entries take the shape of `from`.
    Eigen::MatrixXf wide = Eigen::MatrixXf::Ones (1, 4), tall = Eigen::MatrixXf::Constant (4, 1, 3.0f);
    Tovani::interpolateMatrix (wide, tall, 3, glide);
    ASSERT_EQ (glide.size(), 3u);
    EXPECT_EQ (glide[1].rows(), 1);
    EXPECT_EQ (glide[1] (0, 3), 2.0f);
}
