#pragma once

#include "Activations.h"
#include "GruBlockAvx2.h"
#include "ModelArrays.h"

#include <Eigen/Dense>
#include <nlohmann/json.hpp>

#include <type_traits>

namespace Tovani
{

/** A GRU cell without weights of its own: every step is handed its input weights (IOSize × 3H)
    and recurrent weights (H × 3H) by the hyper-network. It owns the hidden state and a fixed
    H × IOSize output layer. Gate columns run reset, update, new; there are no biases.

    The members keep their shapes from step to step, so after the first step nothing allocates.
    The arithmetic maps them onto fixed-size views, which lets Eigen unroll the small products;
    on CPUs with AVX2 and FMA the float 12 × 2 cell runs a hand-vectorised kernel instead.
    forward_block runs a whole block in one call, the state in registers and the weights packed
    once per block, and glides inside it; the road should use it rather than forward_cell.
*/
template <typename T, int HiddenSize, int IOSize>
class HyperGRU
{
public:
    static constexpr int gateWidth = 3 * HiddenSize;

    using Matrix = Eigen::Matrix<T, Eigen::Dynamic, Eigen::Dynamic>;

    Eigen::Matrix<T, HiddenSize, IOSize> outWeight;
    Matrix hidden;
    Matrix output;
    int numChannels = 1;
    int numSamples = 0;
    Matrix resetGate, updateGate, newGate;
    Matrix inputGates, hiddenGates;
    Matrix input;
    Matrix glideIh, glideHh, glideStepIh, glideStepHh;   // the portable glide's step weights

    /** Loads "linear_out.weight", stored [channel][unit]. */
    void loadParams (nlohmann::json& model)
    {
        setTransposedWeights (outWeight, readModelArray (model, "linear_out.weight", HiddenSize * IOSize));
    }

    /** Starts a new run: zero state, zero input row. */
    void reset (int channels, int samples)
    {
        numChannels = channels;
        numSamples = samples;
        hidden = Matrix::Zero (1, HiddenSize);
        input = Matrix::Zero (1, IOSize);
        giveMembersTheirShapes();
    }

    /** numSteps consecutive steps with fixed weights: left[t] and right[t] in, outLeft[t] and
        outRight[t] out. `right` and `outRight` are null in mono, where the second input is 0;
        the outputs may be the inputs. `hidden` carries the state and `output` receives the last
        step's result; the gate members are not kept up to date. */
    void forward_block (const float* left, const float* right, float* outLeft, float* outRight, int numSteps,
                        const Matrix& wIh, const Matrix& wHh)
    {
        runBlock (left, right, outLeft, outRight, numSteps, wIh, wHh, nullptr, nullptr);
    }

    /** As forward_block, with the weights gliding over the run: step t uses exactly the entry t
        of interpolateMatrix (from, to, numSteps): `from` first, `to` last, linear steps between,
        and one step runs `from` alone. Nothing is built per step but the step's weights. */
    void forward_block_gliding (const float* left, const float* right, float* outLeft, float* outRight,
                                int numSteps, const Matrix& fromIh, const Matrix& fromHh, const Matrix& toIh,
                                const Matrix& toHh)
    {
        runBlock (left, right, outLeft, outRight, numSteps, fromIh, fromHh, &toIh, &toHh);
    }

    /** One step. x is 1 × IOSize, wIh IOSize × 3H, wHh H × 3H; the result lands in `output`. */
    void forward_cell (const Matrix& x, const Matrix& wIh, const Matrix& wHh)
    {
        eigen_assert (x.size() >= IOSize);
        eigen_assert (wIh.rows() == IOSize && wIh.cols() == gateWidth);
        eigen_assert (wHh.rows() == HiddenSize && wHh.cols() == gateWidth);

        giveMembersTheirShapes();

        if constexpr (std::is_same_v<T, float> && HiddenSize == 12 && IOSize == 2)
        {
            if (const auto kernel = nativeGruStepKernel())
            {
                kernel ({ x.data(), wIh.data(), wHh.data(), outWeight.data(), hidden.data(), inputGates.data(),
                          hiddenGates.data(), resetGate.data(), updateGate.data(), newGate.data(), output.data() });
                return;
            }
        }

        using Gates = Eigen::Matrix<T, 1, gateWidth>;
        using State = Eigen::Matrix<T, 1, HiddenSize>;

        Eigen::Map<Gates> ig (inputGates.data());
        Eigen::Map<Gates> hg (hiddenGates.data());
        Eigen::Map<State> h (hidden.data());
        Eigen::Map<State> r (resetGate.data());
        Eigen::Map<State> z (updateGate.data());
        Eigen::Map<State> n (newGate.data());

        ig.noalias() = Eigen::Map<const Eigen::Matrix<T, 1, IOSize>> (x.data())
                     * Eigen::Map<const Eigen::Matrix<T, IOSize, gateWidth>> (wIh.data());
        hg.noalias() = h * Eigen::Map<const Eigen::Matrix<T, HiddenSize, gateWidth>> (wHh.data());

        r = sigmoid<T> (ig.template segment<HiddenSize> (0) + hg.template segment<HiddenSize> (0));
        z = sigmoid<T> (ig.template segment<HiddenSize> (HiddenSize) + hg.template segment<HiddenSize> (HiddenSize));
        n = (ig.template segment<HiddenSize> (2 * HiddenSize).array()
             + r.array() * hg.template segment<HiddenSize> (2 * HiddenSize).array()).tanh().matrix();

        h = (z.array() * h.array() + (T (1) - z.array()) * n.array()).matrix();

        Eigen::Map<Eigen::Matrix<T, 1, IOSize>> (output.data()).noalias() = h * outWeight;
    }

private:
    void runBlock (const float* left, const float* right, float* outLeft, float* outRight, int numSteps,
                   const Matrix& wIh, const Matrix& wHh, const Matrix* toIh, const Matrix* toHh)
    {
        eigen_assert (wIh.rows() == IOSize && wIh.cols() == gateWidth);
        eigen_assert (wHh.rows() == HiddenSize && wHh.cols() == gateWidth);
        giveMembersTheirShapes();

        if (numSteps <= 0)
            return;

        if constexpr (std::is_same_v<T, float> && HiddenSize == 12 && IOSize == 2)
        {
            if (const auto kernel = nativeGruBlockKernel())
            {
                kernel ({ left, right, outLeft, outRight, numSteps, wIh.data(), wHh.data(),
                          toIh != nullptr ? toIh->data() : nullptr, toHh != nullptr ? toHh->data() : nullptr,
                          outWeight.data(), hidden.data(), output.data() });
                return;
            }
        }

        const bool gliding = toIh != nullptr && numSteps >= 2;
        if (gliding)
        {
            // The ramp's own arithmetic, one entry at a time.
            const T divisor = static_cast<T> (numSteps - 1);
            glideStepIh = (*toIh - wIh) / divisor;
            glideStepHh = (*toHh - wHh) / divisor;
        }

        for (int t = 0; t < numSteps; ++t)
        {
            input (0, 0) = left[t];
            if constexpr (IOSize > 1)
                input (0, 1) = right != nullptr ? right[t] : T (0);

            if (! gliding)
            {
                forward_cell (input, wIh, wHh);
            }
            else if (t == numSteps - 1)
            {
                forward_cell (input, *toIh, *toHh);
            }
            else
            {
                const T step = static_cast<T> (t);
                glideIh.noalias() = glideStepIh * step + wIh;
                glideHh.noalias() = glideStepHh * step + wHh;
                forward_cell (input, glideIh, glideHh);
            }

            outLeft[t] = output (0, 0);
            if (outRight != nullptr && IOSize > 1)
                outRight[t] = output (0, 1);
        }
    }

    void giveMembersTheirShapes()
    {
        if (hidden.size() != HiddenSize)   // stepped before any reset: start from rest
            hidden = Matrix::Zero (1, HiddenSize);

        output.resize (1, IOSize);
        resetGate.resize (1, HiddenSize);
        updateGate.resize (1, HiddenSize);
        newGate.resize (1, HiddenSize);
        inputGates.resize (1, gateWidth);
        hiddenGates.resize (1, gateWidth);
        if (input.size() != IOSize)
            input = Matrix::Zero (1, IOSize);
        glideIh.resize (IOSize, gateWidth);
        glideStepIh.resize (IOSize, gateWidth);
        glideHh.resize (HiddenSize, gateWidth);
        glideStepHh.resize (HiddenSize, gateWidth);
    }
};

} // namespace Tovani
