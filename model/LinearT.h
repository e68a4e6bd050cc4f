#pragma once

#include "Activations.h"

#include <Eigen/Dense>

#include <stdexcept>
#include <vector>

namespace Tovani
{

/** A dense layer: output = input · weight + bias, with input and output as row vectors. */
template <typename T, int InSize, int OutSize>
class LinearT
{
public:
    using Matrix = Eigen::Matrix<T, Eigen::Dynamic, Eigen::Dynamic>;
    using RowVector = Eigen::Matrix<T, 1, Eigen::Dynamic>;

    Matrix weight;    // InSize × OutSize: rows are inputs, columns outputs
    RowVector bias;
    Matrix output;    // the last result, 1 × OutSize

    LinearT()
        : weight (Matrix::Zero (InSize, OutSize)),
          bias (RowVector::Zero (OutSize))
    {
    }

    /** Takes a row-major [output][input] array and places it transposed. */
    void setWeight (std::vector<T> w)
    {
        if (w.size() < static_cast<std::size_t> (InSize * OutSize))
            throw std::invalid_argument ("LinearT::setWeight needs " + std::to_string (InSize * OutSize) + " numbers");

        for (int o = 0; o < OutSize; ++o)
            for (int i = 0; i < InSize; ++i)
                weight (i, o) = w[static_cast<std::size_t> (o * InSize + i)];
    }

    /** Computes `output` from a 1 × InSize row; reuses `output`'s storage after the first call. */
    template <typename Derived>
    void forward (const Eigen::MatrixBase<Derived>& input)
    {
        output.resize (1, OutSize);
        output.noalias() = input * weight;
        output += bias;
    }
};

} // namespace Tovani
