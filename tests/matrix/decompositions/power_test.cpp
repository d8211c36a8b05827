// Gauss-Jordan inverse, determinant and rank; power iteration; norms,
// condition number and trace, on matrices with known answers.

#include "support/generators.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <limits>

namespace orvik {
namespace {

using f1::element;
using f1::rows_of;
using f1::vector_of;

const float eps = std::ldexp(1.0f, -24);
const float nan = std::numeric_limits<float>::quiet_NaN();

void expect_matrix(const t_matrix& m, const t_matrix& expected) {
  ASSERT_TRUE(m.allocated);
  ASSERT_EQ(m.rows, expected.rows);
  ASSERT_EQ(m.cols, expected.cols);
  for (std::size_t t = 0; t < m.elements.size(); ++t) EXPECT_EQ(m.elements[t], expected.elements[t]) << t;
}

void expect_vector(const t_vector& v, std::initializer_list<float> expected) {
  ASSERT_TRUE(v.allocated);
  ASSERT_EQ(v.size, static_cast<std::int32_t>(expected.size()));
  std::size_t t = 0;
  for (float e : expected) EXPECT_EQ(v.elements[t++], e) << t;
}

TEST(F1GaussJordan, IdentityAndOneByOne) {
  for (std::int32_t n : {1, 3, 5}) {
    const t_matrix id = m_identity(n);
    expect_matrix(m_inverse_gaussj(id), id);
    EXPECT_EQ(m_det_gaussj(id), 1.0f);
    EXPECT_EQ(m_rank_gaussj(id), n);
  }
  // The determinant is the quotient by the rounded reciprocal.
  const volatile float three = 3.0f;
  const float r = 1.0f / three;
  expect_matrix(m_inverse_gaussj(rows_of({{3}})), rows_of({{r}}));
  EXPECT_EQ(m_det_gaussj(rows_of({{3}})), 1.0f / r);
  EXPECT_EQ(m_rank_gaussj(rows_of({{3}})), 1);
  EXPECT_EQ(m_det_gaussj(rows_of({{eps}})), 0.0f);
  EXPECT_EQ(m_rank_gaussj(rows_of({{-eps}})), 0);
  EXPECT_EQ(m_det_gaussj(rows_of({{1e-8f, 0}, {0, 1e-8f}})), 0.0f);
  EXPECT_EQ(m_rank_gaussj(rows_of({{1e-8f, 0}, {0, 1e-8f}})), 0);
}

TEST(F1GaussJordan, ExchangesTiesAndSingularity) {
  const t_matrix swap = rows_of({{0, 1}, {1, 0}});
  EXPECT_EQ(m_det_gaussj(swap), -1.0f);
  expect_matrix(m_inverse_gaussj(swap), swap);
  // Equal magnitudes keep row 1, so no sign change.
  EXPECT_EQ(m_det_gaussj(rows_of({{1, 2}, {-1, 3}})), 5.0f);
  const t_matrix singular = rows_of({{1, 2}, {2, 4}});
  EXPECT_EQ(m_det_gaussj(singular), 0.0f);
  EXPECT_EQ(m_rank_gaussj(singular), 1);
  expect_matrix(singular, rows_of({{1, 2}, {2, 4}}));
  expect_matrix(m_inverse_gaussj(rows_of({{2, 0}, {0, 0.5f}})), rows_of({{0.5f, 0}, {0, 2}}));
}

TEST(F1GaussJordan, RankCountsPivotsInEchelonForm) {
  EXPECT_EQ(m_rank_gaussj(rows_of({{0, 1}, {0, 0}})), 1);
  EXPECT_EQ(m_rank_gaussj(rows_of({{0, 1}, {0, 1}})), 1);
  EXPECT_EQ(m_rank_gaussj(rows_of({{0, 1, 0}, {0, 0, 1}, {0, 0, 0}})), 2);
  EXPECT_EQ(m_rank_gaussj(rows_of({{0, 0}, {0, 0}})), 0);
  EXPECT_EQ(m_rank_gaussj(rows_of({{1, 2}, {3, 4}, {5, 7}})), 2);
  EXPECT_EQ(m_rank_gaussj(rows_of({{1, 2}, {2, 4}, {3, 6}})), 1);
  EXPECT_EQ(m_rank_gaussj(rows_of({{0, 0, 1, 2}, {0, 0, 2, 4}})), 1);
  EXPECT_EQ(m_rank_gaussj(rows_of({{0, 1, 2, 3}, {0, 0, 0, 5}})), 2);
}

TEST(F1Power, OneByOneMatricesSettleInOnePass) {
  for (float a : {2.0f, -2.0f}) {
    t_poweig e = m_pow_eig(rows_of({{a}}));
    EXPECT_EQ(e.eigval, a);
    expect_vector(e.eigvec, {1.0f});
    EXPECT_EQ(e.nb_iter, 1);
    expect_vector(e.errors, {0.0f});
    m_destruct_t_poweig(e);
    EXPECT_FALSE(e.eigvec.allocated || e.errors.allocated);
    EXPECT_EQ(e.eigval, a);
    EXPECT_EQ(e.nb_iter, 1);
  }
}

TEST(F1Power, DominantEigenvalueOfEitherSign) {
  for (float sign : {1.0f, -1.0f}) {
    const t_poweig e = m_pow_eig(rows_of({{3 * sign, 0}, {0, 1}}));
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

TEST(F1Power, ZeroProductsEndAsEigenvectorsForZero) {
  const t_poweig zero = m_pow_eig(f1::filled(3, 3));
  EXPECT_EQ(zero.eigval, 0.0f);
  EXPECT_FALSE(std::signbit(zero.eigval));
  expect_vector(zero.eigvec, {1, 1, 1});
  EXPECT_EQ(zero.nb_iter, 1);
  expect_vector(zero.errors, {0});
  // A start vector is scaled to a peak of +1; a zero start vector stays.
  const t_poweig scaled = m_pow_eig(f1::filled(2, 2), vector_of({1, -4}));
  expect_vector(scaled.eigvec, {-0.25f, 1});
  const t_poweig zero_start = m_pow_eig(rows_of({{1, 2}, {3, 4}}), vector_of({0, 0}));
  EXPECT_EQ(zero_start.eigval, 0.0f);
  expect_vector(zero_start.eigvec, {0, 0});
  EXPECT_EQ(zero_start.nb_iter, 1);
  // The shift matrix reaches zero in the second pass.
  const t_poweig shift = m_pow_eig(rows_of({{0, 1, 0}, {0, 0, 1}, {0, 0, 0}}));
  EXPECT_EQ(shift.eigval, 0.0f);
  expect_vector(shift.eigvec, {1, 0, 0});
  EXPECT_EQ(shift.nb_iter, 2);
  expect_vector(shift.errors, {1, 0});
}

TEST(F1Power, StartVectorAndNanProducts) {
  const t_vector x0 = vector_of({0, 1});
  const t_poweig e = m_pow_eig(rows_of({{2, 0}, {0, 5}}), x0);
  EXPECT_EQ(e.eigval, 5.0f);
  expect_vector(e.eigvec, {0, 1});
  expect_vector(x0, {0, 1});
  // No entry is a number: the first one is taken, and the NaN residual ends the loop.
  const t_poweig n = m_pow_eig(rows_of({{nan, 0}, {0, nan}}));
  EXPECT_TRUE(std::isnan(n.eigval));
  EXPECT_EQ(n.nb_iter, 1);
  // Zeros beside a NaN do not pass for a zero product.
  const t_poweig mixed = m_pow_eig(rows_of({{0, 0}, {nan, 0}}));
  EXPECT_TRUE(std::isnan(mixed.eigval));
}

TEST(F1Norms, SelectorsOnASmallMatrix) {
  const t_matrix a = rows_of({{1, -2}, {3, 4}});
  EXPECT_EQ(m_norm(a, 1), 6.0f);
  EXPECT_EQ(m_norm(a, 0), 7.0f);
  EXPECT_EQ(m_norm(a, -1), std::sqrt(30.0f));
  const float spectral = m_norm(a, 2);
  EXPECT_NEAR(spectral, 5.116673f, 2e-6f);
  EXPECT_EQ(m_norm(a), spectral);
  EXPECT_EQ(m_norm(a, 7), spectral);
  EXPECT_EQ(m_norm(a, -2), spectral);
  for (float v : {-3.0f, 0.5f}) {
    const t_matrix one = rows_of({{v}});
    for (std::int32_t p : {1, 0, -1, 2}) EXPECT_EQ(m_norm(one, p), std::fabs(v)) << p;
  }
  for (std::int32_t p : {1, 0, -1, 2}) EXPECT_EQ(m_norm(f1::filled(2, 3), p), 0.0f) << p;
}

TEST(F1Norms, RectangularAndRounding) {
  const t_matrix a = rows_of({{1, 2, 3}, {-4, 5, -6}});
  EXPECT_EQ(m_norm(a, 1), 9.0f);
  EXPECT_EQ(m_norm(a, 0), 15.0f);
  EXPECT_EQ(m_norm(a, -1), std::sqrt(91.0f));
  // Each 2^-24 is lost in the float running sum, so the column sum stays 1
  // (a wide sum would round to the float after 1).
  EXPECT_EQ(m_norm(rows_of({{1}, {eps}, {eps}}), 1), 1.0f);
  EXPECT_EQ(m_norm(rows_of({{1, eps, eps}}), 0), 1.0f);
  // Scaled below norm 1, a one-ulp wobble of A*x is within tol = eps.
  const t_matrix small = rows_of({{0.1f, 0.2f, 0.3f}, {-0.4f, 0.5f, -0.6f}});
  EXPECT_NEAR(m_norm(small, 2), 0.8899905f, 1e-6f);
}

TEST(F1Norms, ConditionNumberAndTrace) {
  EXPECT_EQ(m_cond(m_identity(3)), 1.0f);
  EXPECT_EQ(m_cond(rows_of({{2, 0}, {0, 0.5f}})), 4.0f);
  EXPECT_EQ(m_trace(rows_of({{1, 2}, {3, 4}})), 5.0f);
  // The diagonal is summed wide and rounded once.
  EXPECT_EQ(m_trace(rows_of({{1e8f, 0, 0}, {0, 1, 0}, {0, 0, -1e8f}})), 1.0f);
  t_vector probe;
  v_init(probe);
  EXPECT_EQ(probe.size, 3);
}

}  // namespace
}  // namespace orvik
