#pragma once

namespace Tovani
{

/** out = in · weight + bias for a 16-wide input row, written for AVX2 and FMA.

    weight is Eigen's column-major storage of the 16 × outputs matrix, so each output's 16
    weights are contiguous; outputs is a multiple of 8. */
using Dense16Kernel = void (*) (const float* in, const float* weight, const float* bias, float* out,
                                int outputs) noexcept;

/** The AVX2 kernel where the recurrent step's kernels run (nativeGruStepKernel), else nullptr. */
Dense16Kernel nativeDense16Kernel() noexcept;

} // namespace Tovani
