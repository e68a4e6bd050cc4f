#pragma once

#include "GruStepAvx2.h"

namespace Tovani
{

/** A run of consecutive steps of the 12-unit, 2-input GRU with one set of weights, or with
    weights gliding from one set to another, for AVX2 and FMA.

    Weights are Eigen's column-major storage: wIh 2 × 36, wHh 12 × 36, outWeight 12 × 2. With
    toIh and toHh null every step uses wIh and wHh. Otherwise step t of n uses
    from + (to - from) / (n - 1) * t, a product then a sum, and the last step `to` itself;
    a single step uses `from`. `right` null reads the second input as 0; `outRight` null drops
    the second output; outputs may alias inputs. hidden (12) carries the state in and out, and
    output (2) receives the last step's result. */
struct GruBlock12x2
{
    const float* left;
    const float* right;
    float* outLeft;
    float* outRight;
    int numSteps;
    const float* wIh;
    const float* wHh;
    const float* toIh;
    const float* toHh;
    const float* outWeight;
    float* hidden;
    float* output;
};

using GruBlockKernel = void (*) (const GruBlock12x2&) noexcept;

/** The AVX2 block kernel when this CPU has AVX2 and FMA and the native kernels are allowed
    (setNativeGruStepAllowed), else nullptr. */
GruBlockKernel nativeGruBlockKernel() noexcept;

} // namespace Tovani
