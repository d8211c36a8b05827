// The elimination updates shared by LU, Cholesky and Gauss-Jordan.

#include "matrix/elimination_kernels.hpp"

#include "matrix/matrix_internal.hpp"

#include <cmath>
#include <utility>

namespace orvik::detail {

float subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                        std::int32_t count) {
  for (std::ptrdiff_t t = 0; t < count; ++t) {
    // Negating one factor is exact, so this is s - x*y with one rounding.
    s = std::fma(-x[t * x_stride], y[t * y_stride], s);
  }
  return s;
}

void subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                     std::int32_t count) {
  const float minus_f = -f;
  for (std::ptrdiff_t t = 0; t < count; ++t) y[t * y_stride] = std::fma(minus_f, x[t * x_stride], y[t * y_stride]);
}

void exchange_rows(t_matrix& m, std::int32_t i, std::int32_t p) {
  for (std::int32_t j = 1; j <= m.cols; ++j) std::swap(at(m, i, j), at(m, p, j));
}

void exchange_cols(t_matrix& m, std::int32_t j, std::int32_t p) {
  for (std::int32_t i = 1; i <= m.rows; ++i) std::swap(at(m, i, j), at(m, i, p));
}

}  // namespace orvik::detail
