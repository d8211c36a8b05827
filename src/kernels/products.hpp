#pragma once
// The product loops of the matrix module, on plain column-major arrays.
//
// Each output element is a float running sum s, started at 0.0 and updated
// once per term, in increasing term order, by one fused multiply-add
// s = fma(a, b, s). The loops may visit the output elements in any order
// (they do, for locality), but never reorder, split or widen the terms of one
// element, so the results are the bits of the plain loops the operations
// describe.

#include <cstdint>

namespace orvik::detail {

// c (m x n) = a (m x p) * b (p x n); c(i, j) sums a(i, k) * b(k, j) for
// k = 1 to p.
void kernel_prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept;

// y (rows) = a (rows x cols) * x (cols) by row dot products: y(i) sums
// a(i, j) * x(j) for j = 1 to cols.
void kernel_prod_vec_rows(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept;

// y (rows) = a (rows x cols) * x (cols) by column accumulation: y starts at
// 0.0 and, for i = 1 to cols, y(j) += a(j, i) * x(i) for every j.
void kernel_prod_vec_cols(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept;

// y (cols) = x (rows) as a row vector times a (rows x cols): y(i) sums
// x(j) * a(j, i) for j = 1 to rows.
void kernel_prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept;

}  // namespace orvik::detail
