// Power iteration: one-pass cases, the convergence rate, zero and NaN
// products, start vectors, and every stop.

#include "support/child.hpp"
#include "support/oracles.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <limits>
#include <optional>

namespace orvik {
namespace {

using test::expect_same_vector;
using test::matrix_of;
using test::vector_of;

const t_matrix fresh{};
const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
const float eps = std::ldexp(1.0f, -24);
const float nan = std::numeric_limits<float>::quiet_NaN();

TEST(PowerIteration, OneByOneMatricesSettleInOnePass) {
  for (float a : {2.0f, -2.0f}) {
    t_poweig e = m_pow_eig(matrix_of(1, 1, {a}));
    EXPECT_EQ(e.eigval, a);
    expect_same_vector(e.eigvec, {1.0f});
    EXPECT_EQ(e.nb_iter, 1);
    expect_same_vector(e.errors, {0.0f});
    m_destruct_t_poweig(e);
    EXPECT_FALSE(e.eigvec.allocated || e.errors.allocated);
    EXPECT_EQ(e.eigval, a);
    EXPECT_EQ(e.nb_iter, 1);
  }
}

TEST(PowerIteration, DominantEigenvalueOfEitherSign) {
  for (float sign : {1.0f, -1.0f}) {
    const t_poweig e = m_pow_eig(matrix_of(2, 2, {3 * sign, 0, 0, 1}));
    EXPECT_EQ(e.eigval, 3 * sign);
    EXPECT_EQ(e.eigvec.elements[0], 1.0f);
    EXPECT_LE(std::fabs(e.eigvec.elements[1]), eps);
    ASSERT_GT(e.nb_iter, 5);
    // The residual shrinks by about three per pass.
    for (std::int32_t p = 0; p + 2 < e.nb_iter; ++p) {
      const float ratio = e.errors.elements[p] / e.errors.elements[p + 1];
      EXPECT_NEAR(ratio, 3.0f, 0.01f) << p;
    }
    EXPECT_LE(e.errors.elements[static_cast<std::size_t>(e.nb_iter - 1)], eps);
    // errors was the last vector made, so v_init remembers its size.
    t_vector probe;
    v_init(probe);
    EXPECT_EQ(probe.size, e.nb_iter);
  }
}

TEST(PowerIteration, ZeroProductsEndAsEigenvectorsForZero) {
  const t_poweig zero = m_pow_eig(test::zero_matrix(3, 3));
  EXPECT_EQ(zero.eigval, 0.0f);
  EXPECT_FALSE(std::signbit(zero.eigval));
  expect_same_vector(zero.eigvec, {1, 1, 1});
  EXPECT_EQ(zero.nb_iter, 1);
  expect_same_vector(zero.errors, {0});
  // A start vector is scaled to a peak of +1; a zero start vector stays.
  const t_poweig scaled = m_pow_eig(test::zero_matrix(2, 2), vector_of({1, -4}));
  expect_same_vector(scaled.eigvec, {-0.25f, 1});
  const t_poweig zero_start = m_pow_eig(matrix_of(2, 2, {1, 2, 3, 4}), vector_of({0, 0}));
  EXPECT_EQ(zero_start.eigval, 0.0f);
  expect_same_vector(zero_start.eigvec, {0, 0});
  EXPECT_EQ(zero_start.nb_iter, 1);
  // The shift matrix reaches zero in the second pass.
  const t_poweig shift = m_pow_eig(matrix_of(3, 3, {0, 1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(shift.eigval, 0.0f);
  expect_same_vector(shift.eigvec, {1, 0, 0});
  EXPECT_EQ(shift.nb_iter, 2);
  expect_same_vector(shift.errors, {1, 0});
}

TEST(PowerIteration, StartVectorAndNanProducts) {
  const t_vector x0 = vector_of({0, 1});
  const t_poweig e = m_pow_eig(matrix_of(2, 2, {2, 0, 0, 5}), x0);
  EXPECT_EQ(e.eigval, 5.0f);
  expect_same_vector(e.eigvec, {0, 1});
  expect_same_vector(x0, {0, 1});
  // No entry is a number: the first one is taken, and the NaN residual ends the loop.
  const t_poweig n = m_pow_eig(matrix_of(2, 2, {nan, 0, 0, nan}));
  EXPECT_TRUE(std::isnan(n.eigval));
  EXPECT_EQ(n.nb_iter, 1);
  // Zeros beside a NaN do not pass for a zero product.
  const t_poweig mixed = m_pow_eig(matrix_of(2, 2, {0, 0, nan, 0}));
  EXPECT_TRUE(std::isnan(mixed.eigval));
}

TEST(PowerIteration, Stops) {
  test::expect_stops({
      {"fresh", [] { m_pow_eig(fresh); }, 2001, "m_pow_eig::matrix not allocated"},
      {"rectangular", [] { m_pow_eig(m23); }, 202, "m_pow_eig:: square matrix expected"},
      // Equal magnitudes of opposite sign never settle.
      {"plus and minus one",
       [] {
         m_pow_eig(matrix_of(2, 2, {1, 0, 0, -1}));
       },
       301, "m_pow_eig::power eig method diverge"},
      {"pass limit",
       [] {
         m_pow_eig(matrix_of(2, 2, {3, 0, 0, 1}), std::nullopt, std::nullopt, 3);
       },
       301, "m_pow_eig::power eig method diverge"},
      // No pass at all: the residual vector of 0 entries is refused first.
      {"maxiter 1", [] { m_pow_eig(matrix_of(1, 1, {2}), std::nullopt, std::nullopt, 1); }, 201,
       "v_init::positive size expected"},
      {"maxiter 0 beats divergence",
       [] {
         m_pow_eig(matrix_of(2, 2, {1, 0, 0, -1}), std::nullopt, std::nullopt, 0);
       },
       201, "v_init::positive size expected"},
      {"start vector of the wrong size",
       [] {
         m_pow_eig(matrix_of(1, 1, {2}), vector_of({1, 1}));
       },
       202, "m_prod_vec_c::The number cols of the first matrix must be equal to vector size"},
  });
}

}  // namespace
}  // namespace orvik
