#pragma once

namespace Tovani
{

/** One step of the 12-unit, 2-input GRU, written for AVX2 and FMA.

    The arguments are the raw storage of HyperGRU's members: x (2), wIh (2 × 36) and wHh (12 × 36)
    column-major as Eigen stores them, outWeight (12 × 2) column-major; it updates hidden (12) and
    writes the step's gate products and gates and the output (2).
*/
struct GruStep12x2
{
    const float* x;
    const float* wIh;
    const float* wHh;
    const float* outWeight;
    float* hidden;
    float* inputGates;
    float* hiddenGates;
    float* resetGate;
    float* updateGate;
    float* newGate;
    float* output;
};

using GruStepKernel = void (*) (const GruStep12x2&) noexcept;

/** The AVX2 kernel when this CPU has AVX2 and FMA, else nullptr. Decided once, at first call. */
GruStepKernel nativeGruStepKernel() noexcept;

/** Lets the tests and the benchmark run the portable path on a machine that has AVX2. */
void setNativeGruStepAllowed (bool allowed) noexcept;

} // namespace Tovani
