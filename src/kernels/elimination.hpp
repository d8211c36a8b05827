#pragma once
// The inner updates of LU, Cholesky and Gauss-Jordan elimination. Each step
// a = a - l*u is one std::fma: the product exact, one rounding per step, in
// the order given, so the factors do not depend on the compiler's choices.

#include <orvik/matrix.hpp>

#include <cstddef>
#include <cstdint>

namespace orvik::detail {

// s - x[0]*y[0] - x[xs]*y[ys] - ... over `count` terms, in increasing order.
float subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                        std::int32_t count);

// y[t*ys] = y[t*ys] - f*x[t*xs] for t = 0 .. count-1, in increasing order.
void subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                     std::int32_t count);

// Rows i and p of m change places (all columns); nothing is combined.
void exchange_rows(t_matrix& m, std::int32_t i, std::int32_t p);
// Columns j and p of m change places.
void exchange_cols(t_matrix& m, std::int32_t j, std::int32_t p);

}  // namespace orvik::detail
