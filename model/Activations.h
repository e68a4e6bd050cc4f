#pragma once

#include <Eigen/Dense>

namespace Tovani
{

/** Element-wise logistic function, 1 / (e^-v + 1), as a matrix of the argument's shape. */
template <typename T, typename Derived>
Eigen::Matrix<T, Derived::RowsAtCompileTime, Derived::ColsAtCompileTime> sigmoid (const Eigen::MatrixBase<Derived>& v)
{
    return ((-v.array()).exp() + T (1)).inverse().matrix();
}

/** Slope of the hyper-network's leaky rectifier on the negative side. */
template <typename T>
constexpr T leakySlope = T (0.2);

/** max(0.2 v, v) element by element, in place. */
template <typename Derived>
void leakyReluInPlace (Eigen::MatrixBase<Derived>& m)
{
    using T = typename Derived::Scalar;
    m = m.cwiseMax (leakySlope<T> * m);
}

} // namespace Tovani
