#pragma once

#include <Eigen/Dense>

/** The recurrent step written the plain way: dynamic matrices and a temporary per gate. It is
    the yardstick for the cell the plug-in ships, in the tests and in the benchmark. */
struct StraightforwardGru
{
    Eigen::MatrixXf outWeight;   // 12 × 2
    Eigen::MatrixXf hidden = Eigen::MatrixXf::Zero (1, 12);
    Eigen::MatrixXf output;

    void forward (const Eigen::MatrixXf& x, const Eigen::MatrixXf& wIh, const Eigen::MatrixXf& wHh)
    {
        const Eigen::MatrixXf inputGates = x * wIh;
        const Eigen::MatrixXf hiddenGates = hidden * wHh;
        const auto sigmoid = [] (const Eigen::MatrixXf& v) -> Eigen::MatrixXf
        { return ((-v.array()).exp() + 1.0f).inverse().matrix(); };

        const Eigen::MatrixXf r = sigmoid (inputGates.block (0, 0, 1, 12) + hiddenGates.block (0, 0, 1, 12));
        const Eigen::MatrixXf z = sigmoid (inputGates.block (0, 12, 1, 12) + hiddenGates.block (0, 12, 1, 12));
        const Eigen::MatrixXf n = (inputGates.block (0, 24, 1, 12).array()
                                   + r.array() * hiddenGates.block (0, 24, 1, 12).array()).tanh().matrix();
        hidden = (z.array() * hidden.array() + (1.0f - z.array()) * n.array()).matrix();
        output = hidden * outWeight;
    }
};
