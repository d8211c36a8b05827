// The public products against the reference kernels, bit for bit, and the
// single rounding of each step. The fast kernels against the reference are
// in gemm_test.cpp and transposed_product_test.cpp.

#include "kernels/kernels.hpp"
#include "support/generators.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace orvik {
namespace {

using test::bits_of;
using test::spread_values;

const kernels::kernel_table& ref = kernels::reference_kernels();

std::vector<float> reference_mat(const std::vector<float>& a, const std::vector<float>& b, int m, int p, int n) {
  std::vector<float> c(static_cast<std::size_t>(m) * n);
  ref.prod_mat(a.data(), b.data(), c.data(), m, p, n);
  return c;
}

std::vector<float> reference_vec(const std::vector<float>& a, const std::vector<float>& x, int rows, int cols) {
  std::vector<float> y(static_cast<std::size_t>(rows));
  ref.prod_vec(a.data(), x.data(), y.data(), rows, cols);
  return y;
}

std::vector<float> reference_left(const std::vector<float>& x, const std::vector<float>& a, int rows, int cols) {
  std::vector<float> y(static_cast<std::size_t>(cols));
  ref.prod_vec_left(x.data(), a.data(), rows, y.data(), rows, cols);
  return y;
}

TEST(ProductKernels, PublicProductsGoThroughTheKernels) {
  std::mt19937 gen(4242);
  const int m = 6, p = 9, n = 5;
  t_matrix a = m_zeros(m, p);
  t_matrix b = m_zeros(p, n);
  a.elements = spread_values(gen, a.elements.size());
  b.elements = spread_values(gen, b.elements.size());
  EXPECT_EQ(bits_of(m_prod_mat(a, b).elements), bits_of(reference_mat(a.elements, b.elements, m, p, n)));

  t_vector x = v_zeros(p);
  x.elements = spread_values(gen, static_cast<std::size_t>(p));
  EXPECT_EQ(bits_of(m_prod_vec1(a, x).elements), bits_of(reference_vec(a.elements, x.elements, m, p)));
  EXPECT_EQ(bits_of(m_prod_vec_c(a, x).elements), bits_of(reference_vec(a.elements, x.elements, m, p)));
  t_vector xl = v_zeros(m);
  xl.elements = spread_values(gen, static_cast<std::size_t>(m));
  EXPECT_EQ(bits_of(m_prod_vec2(xl, a).elements), bits_of(reference_left(xl.elements, a.elements, m, p)));
}

// One rounding per step, not two: (1 + 2^-23)^2 is 1 + 2^-22 + 2^-46; the
// fused step keeps the 2^-46 when -1 - 2^-22 cancels the rest, where a
// product rounded on its own would leave exactly 0.
TEST(ProductKernels, EachStepIsOneFusedMultiplyAdd) {
  const float e = 1.0f + 0x1.0p-23f;
  const t_matrix row = test::matrix_of(1, 2, {-1.0f - 0x1.0p-22f, e});
  const t_matrix col = test::matrix_of(2, 1, {1.0f, e});
  const float fused = std::fma(e, e, -1.0f - 0x1.0p-22f);
  EXPECT_NE(fused, 0.0f);
  EXPECT_EQ(m_prod_mat(row, col).elements[0], fused);
}

}  // namespace
}  // namespace orvik
