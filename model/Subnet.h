#pragma once

#include "Activations.h"
#include "DenseAvx2.h"
#include "LinearT.h"
#include "ModelArrays.h"

#include <Eigen/Dense>
#include <nlohmann/json.hpp>

#include <type_traits>

namespace Tovani
{

/** The hyper-network: turns the two control values (Depth EQ, depth) into the input and
    recurrent weights of a GRU cell with HiddenSize units and two inputs.

    Four 16-wide leaky-ReLU layers feed two linear projections, whose outputs are reshaped row by
    row into weightIh (2 × 3H) and weightHh (H × 3H). Gate columns run reset, update, new.
*/
template <typename T, int HiddenSize>
class Subnet
{
public:
    static constexpr int numControls = 2;
    static constexpr int width = 16;
    static constexpr int numInputs = 2;
    static constexpr int gateWidth = 3 * HiddenSize;
    static constexpr int ihSize = numInputs * gateWidth;
    static constexpr int hhSize = HiddenSize * gateWidth;

    using Matrix = Eigen::Matrix<T, Eigen::Dynamic, Eigen::Dynamic>;
    using RowVector = Eigen::Matrix<T, 1, Eigen::Dynamic>;

    Matrix inWeight;
    RowVector inBias;
    Matrix inOutput;

    LinearT<T, width, width> prelayer2, prelayer4, prelayer6;

    Matrix projIhWeight;
    RowVector projIhBias;
    Matrix projIhOutput;

    Matrix projHhWeight;
    RowVector projHhBias;
    Matrix projHhOutput;

    Matrix weightIh;
    Matrix weightHh;

    Subnet()
        : inWeight (Matrix::Zero (numControls, width)),
          inBias (RowVector::Zero (width)),
          projIhWeight (Matrix::Zero (width, ihSize)),
          projIhBias (RowVector::Zero (ihSize)),
          projHhWeight (Matrix::Zero (width, hhSize)),
          projHhBias (RowVector::Zero (hhSize))
    {
    }

    /** Loads the 14 "rnn." arrays. Stops at the first that is missing, mistyped or short; the
        arrays loaded before it keep their new values. */
    void loadParams (nlohmann::json& model)
    {
        setTransposedWeights (inWeight, readModelArray (model, "rnn.prelayers.0.weight", numControls * width));
        setBias (inBias, readModelArray (model, "rnn.prelayers.0.bias", width));

        loadLayer (model, prelayer2, "rnn.prelayers.2");
        loadLayer (model, prelayer4, "rnn.prelayers.4");
        loadLayer (model, prelayer6, "rnn.prelayers.6");

        setTransposedWeights (projIhWeight, readModelArray (model, "rnn.proj_ih.weight", width * ihSize));
        setBias (projIhBias, readModelArray (model, "rnn.proj_ih.bias", ihSize));
        setTransposedWeights (projHhWeight, readModelArray (model, "rnn.proj_hh.weight", width * hhSize));
        setBias (projHhBias, readModelArray (model, "rnn.proj_hh.bias", hhSize));
    }

    /** Computes weightIh and weightHh for one pair of controls. Allocates only on the first call. */
    void forward (T eqControl, T depthControl)
    {
        Eigen::Matrix<T, 1, numControls> controls (eqControl, depthControl);

        inOutput.resize (1, width);
        inOutput.noalias() = controls * inWeight;
        inOutput += inBias;
        leakyReluInPlace (inOutput);

        projIhOutput.resize (1, ihSize);
        projHhOutput.resize (1, hhSize);

        // It runs on the audio thread at every control change, where Eigen's 4-lane products of
        // the baseline build cost 2.1 us a call; the AVX2 kernel brings that to 0.6 us.
        if constexpr (std::is_same_v<T, float> && width == 16 && ihSize % 8 == 0 && hhSize % 8 == 0)
        {
            if (const auto dense = nativeDense16Kernel())
            {
                const auto layer = [dense] (auto& l, const Matrix& in)
                {
                    l.output.resize (1, width);
                    dense (in.data(), l.weight.data(), l.bias.data(), l.output.data(), width);
                    leakyReluInPlace (l.output);
                };
                layer (prelayer2, inOutput);
                layer (prelayer4, prelayer2.output);
                layer (prelayer6, prelayer4.output);

                const auto& last = prelayer6.output;
                dense (last.data(), projIhWeight.data(), projIhBias.data(), projIhOutput.data(), ihSize);
                dense (last.data(), projHhWeight.data(), projHhBias.data(), projHhOutput.data(), hhSize);
                reshapeProjections();
                return;
            }
        }

        prelayer2.forward (inOutput);
        leakyReluInPlace (prelayer2.output);
        prelayer4.forward (prelayer2.output);
        leakyReluInPlace (prelayer4.output);
        prelayer6.forward (prelayer4.output);
        leakyReluInPlace (prelayer6.output);

        const auto& last = prelayer6.output;

        projIhOutput.noalias() = last * projIhWeight;
        projIhOutput += projIhBias;

        projHhOutput.noalias() = last * projHhWeight;
        projHhOutput += projHhBias;

        reshapeProjections();
    }

private:
    void reshapeProjections()
    {
        // The projections list the weights gate row by gate row.
        using IhRows = Eigen::Matrix<T, numInputs, gateWidth, Eigen::RowMajor>;
        using HhRows = Eigen::Matrix<T, HiddenSize, gateWidth, Eigen::RowMajor>;
        weightIh.resize (numInputs, gateWidth);
        weightIh = Eigen::Map<const IhRows> (projIhOutput.data());
        weightHh.resize (HiddenSize, gateWidth);
        weightHh = Eigen::Map<const HhRows> (projHhOutput.data());
    }

    template <typename Layer>
    static void loadLayer (nlohmann::json& model, Layer& layer, const std::string& prefix)
    {
        layer.setWeight (readModelArray (model, prefix + ".weight", width * width));
        setBias (layer.bias, readModelArray (model, prefix + ".bias", width));
    }
};

} // namespace Tovani
