#pragma once

#include <Eigen/Dense>

#include <stdexcept>
#include <vector>

namespace Tovani
{

/** Fills `out` with `count` weight sets stepping linearly from `from` to `to` (two entries,
    `from` and `to`, when count < 2). The first entry is exactly `from` and the last exactly `to`.

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

    std::vector<MatrixType>().swap (out);
    out.reserve (static_cast<std::size_t> (count >= 2 ? count : 2));
    out.push_back (from);

    if (count >= 3)
    {
        const MatrixType step = (target - from) / static_cast<Scalar> (count - 1);

        for (int i = 1; i <= count - 2; ++i)
            out.emplace_back (step * static_cast<Scalar> (i) + from);
    }

    out.emplace_back (target);
}

} // namespace Tovani
