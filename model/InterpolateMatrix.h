#pragma once

#include <Eigen/Dense>

#include <stdexcept>
#include <vector>

namespace Tovani
{

/** Fills `out` with `count` weight sets stepping linearly from `from` to `to` (two entries,
    `from` and `to`, when count < 2). The first entry is exactly `from` and the last exactly `to`.

    Whatever `out` held is discarded, but matrices already in it lend their storage to the new
    entries: a glide runs on the audio thread, and allocating hundreds of matrices there (and
    faulting their pages in again after the allocator hands them back) costs milliseconds.

    Entries take the shape of `from`; a `to` with another number of elements is refused before
    anything is read from it.
*/
template <typename MatrixType>
void interpolateMatrix (MatrixType& from, MatrixType& to, int count, std::vector<MatrixType>& out)
{
    if (from.size() != to.size())
        throw std::invalid_argument ("interpolateMatrix: from and to hold different numbers of elements");

    using Scalar = typename MatrixType::Scalar;
    const Eigen::Map<const MatrixType> target (to.data(), from.rows(), from.cols());
    const int entries = count >= 2 ? count : 2;

    out.resize (static_cast<std::size_t> (entries));
    out.front() = from;

    if (count >= 3)
    {
        // The last entry holds the step until it receives `to`.
        auto& step = out.back();
        step = (target - from) / static_cast<Scalar> (count - 1);

        for (int i = 1; i <= count - 2; ++i)
        {
            auto& entry = out[static_cast<std::size_t> (i)];
            entry.resize (from.rows(), from.cols());
            entry.noalias() = step * static_cast<Scalar> (i) + from;
        }
    }

    out.back() = target;
}

} // namespace Tovani
