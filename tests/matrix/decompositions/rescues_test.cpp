// The three rescues: a power iteration caught in an exact cycle at rounding
// level, the SVD on Householder QR levelling off above its tolerance, and the
// Cholesky pseudo-inverse whose Gram inverse would stop. Each returns a sound
// result where the plain run could only stop, leaves every bit of the calls
// that converge as they were, and still stops where no result exists.

#include <orvik/orvik.hpp>

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#ifdef ORVIK_HAVE_LAPACK
extern "C" void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda,
                        double* s, double* u, const int* ldu, double* vt, const int* ldvt, double* work,
                        const int* lwork, int* info, std::size_t, std::size_t);
#endif

namespace orvik {
namespace {

using test::matrix_of;
using test::random_matrix;

// FNV-1a over the bit patterns, to compare with results stored from the
// build before the rescues.
std::uint64_t digest(std::initializer_list<const std::vector<float>*> parts) {
  std::uint64_t h = 1469598103934665603ull;
  for (const auto* part : parts) {
    for (const float f : *part) {
      const auto b = std::bit_cast<std::uint32_t>(f);
      for (int i = 0; i < 4; ++i) {
        h ^= (b >> (8 * i)) & 0xffu;
        h *= 1099511628211ull;
      }
    }
  }
  return h;
}

// max |(X^T X - I)(i, j)|, in double.
double orthogonality_error(const t_matrix& x) {
  double worst = 0.0;
  for (std::int32_t i = 1; i <= x.cols; ++i) {
    for (std::int32_t j = 1; j <= x.cols; ++j) {
      double s = i == j ? -1.0 : 0.0;
      for (std::int32_t k = 1; k <= x.rows; ++k) s += double(test::element(x, k, i)) * test::element(x, k, j);
      worst = std::max(worst, std::fabs(s));
    }
  }
  return worst;
}

// max |A - U S V^T| relative to max |A|, in double.
double reconstruction_error(const t_matrix& a, const t_svd& f) {
  double worst = 0.0;
  double scale = 0.0;
  for (std::int32_t i = 1; i <= a.rows; ++i) {
    for (std::int32_t j = 1; j <= a.cols; ++j) {
      double s = 0.0;
      for (std::int32_t k = 1; k <= std::min(a.rows, a.cols); ++k)
        s += double(test::element(f.U, i, k)) * test::element(f.S, k, k) * test::element(f.V, j, k);
      worst = std::max(worst, std::fabs(s - test::element(a, i, j)));
      scale = std::max(scale, std::fabs(double(test::element(a, i, j))));
    }
  }
  return worst / scale;
}

// ---------------------------------------------------------------- power iteration

TEST(RescuePowerIteration, RoundingLevelCycleEndsAsConverged) {
  // A^T A * x wobbles between iterates one ulp apart, above the absolute
  // tolerance; the norm used to stop with 301.
  const t_matrix a = matrix_of(2, 3, {1, 2, 3, -4, 5, -6});
  EXPECT_NEAR(m_norm(a, 2), 8.89990492f, 8.9f * 4e-7f);

  const t_matrix b = m_prod_mat(m_trans(a), a);
  const t_poweig e = m_pow_eig(b);
  EXPECT_NEAR(e.eigval, 8.89990492 * 8.89990492, 79.2 * 4e-7);
  ASSERT_EQ(e.errors.size, e.nb_iter);
  EXPECT_LT(e.nb_iter, 299);  // the limit would have been 300 passes
  // It ended on a residual the plain test rejects, at rounding level for B.
  EXPECT_GT(e.errors.elements.back(), math_machine_eps());
  EXPECT_LE(e.errors.elements.back(), std::ldexp(m_norm(b, 0), -16));
  EXPECT_EQ(std::fabs(*std::max_element(e.eigvec.elements.begin(), e.eigvec.elements.end(),
                                        [](float x, float y) { return std::fabs(x) < std::fabs(y); })),
            1.0f);
}

TEST(RescuePowerIteration, ConvergedCallKeepsItsBits) {
  // Below norm 1 the plain test passes; these are the bits it gave before.
  const t_matrix small = matrix_of(2, 3, {0.1f, 0.2f, 0.3f, -0.4f, 0.5f, -0.6f});
  const t_poweig e = m_pow_eig(m_prod_mat(m_trans(small), small));
  const std::vector<float> value{e.eigval};
  EXPECT_EQ(e.nb_iter, 10);
  EXPECT_EQ(digest({&value, &e.eigvec.elements, &e.errors.elements}), 0x2a3edc0c29d98e61ull);
}

TEST(RescuePowerIteration, CycleAboveRoundingLevelStillStops) {
  // A quarter turn: x alternates between (1, -1) and (1, 1) with residual 2,
  // a cycle that is no rounding effect; the full 99 passes are still made.
  const t_matrix turn = matrix_of(2, 2, {0, -1, 1, 0});
  test::expect_stops({
      {"quarter turn", [&] { m_pow_eig(turn); }, 301, "m_pow_eig::power eig method diverge"},
  });
}

// ---------------------------------------------------------------- SVD on Householder QR

TEST(RescueSvdHouseholder, LevelledOffRunIsRedoneWithStableReflections) {
  // Used to stop with 301 at every size but rank one.
  const t_matrix a = matrix_of(2, 2, {1, 2, 3, 4});
  const t_svd f = m_decompsvd(a, std::nullopt, std::nullopt, "ho");
  EXPECT_NEAR(test::element(f.S, 1, 1), 5.464986f, 2e-6f);
  EXPECT_NEAR(test::element(f.S, 2, 2), 0.365966f, 5e-7f);
  EXPECT_LT(reconstruction_error(a, f), 8 * 6e-8);
  const t_vector s = m_decompsvd_s(a, std::nullopt, std::nullopt, "ho");
  EXPECT_EQ(s.elements, (std::vector<float>{test::element(f.S, 1, 1), test::element(f.S, 2, 2)}));

  // Tall, wide and small-scale shapes keep the Householder shapes (U m x m).
  for (const auto& [rows, cols, scale] : {std::tuple{6, 4, 1.0f}, std::tuple{3, 5, 1.0f}, std::tuple{5, 5, 1e-6f}}) {
    t_matrix b = random_matrix(rows, cols, 11, -0.5f, 0.5f);
    for (float& x : b.elements) x *= scale;
    const t_svd g = m_decompsvd(b, std::nullopt, std::nullopt, "ho");
    // U and V gather one rounding per sweep: a bound in units of n * eps.
    const double bound = 64.0 * std::max(rows, cols) * 0x1p-24;
    EXPECT_EQ(g.U.rows, rows);
    EXPECT_EQ(g.U.cols, rows);
    EXPECT_EQ(g.V.rows, cols);
    EXPECT_LT(orthogonality_error(g.U), bound) << rows << "x" << cols;
    EXPECT_LT(orthogonality_error(g.V), bound) << rows << "x" << cols;
    EXPECT_LT(reconstruction_error(b, g), bound) << rows << "x" << cols;
#ifdef ORVIK_HAVE_LAPACK
    std::vector<double> w(b.elements.begin(), b.elements.end());
    std::vector<double> sv(static_cast<std::size_t>(std::min(rows, cols)));
    std::vector<double> work(200);
    const int lwork = 200;
    int info = 0;
    double dummy = 0.0;
    const int one = 1;
    dgesvd_("N", "N", &rows, &cols, w.data(), &rows, sv.data(), &dummy, &one, &dummy, &one, work.data(), &lwork, &info,
            1, 1);
    ASSERT_EQ(info, 0);
    std::vector<float> got;
    for (std::int32_t c = 1; c <= std::min(rows, cols); ++c) got.push_back(test::element(g.S, c, c));
    std::sort(got.begin(), got.end(), std::greater<>());
    for (std::size_t i = 0; i < sv.size(); ++i) EXPECT_NEAR(got[i], sv[i], bound * sv[0]) << i;
#endif
  }
}

TEST(RescueSvdHouseholder, ConvergedCallKeepsItsBits) {
  // A rank-one input on which the explicit reflections already converge.
  const t_matrix a = m_prod_mat(random_matrix(3, 1, 3), random_matrix(1, 3, 103));
  const t_svd f = m_decompsvd(a, std::nullopt, std::nullopt, "ho");
  EXPECT_EQ(digest({&f.S.elements, &f.U.elements, &f.V.elements}), 0x06588ceb6b839f4bull);
}

TEST(RescueSvdHouseholder, SweepLimitStillStops) {
  // One sweep leaves err near 0.09: neither run can reach the tolerance.
  const t_matrix a = matrix_of(2, 2, {1, 2, 3, 4});
  test::expect_stops({
      {"svd, one sweep", [&] { m_decompsvd(a, std::nullopt, 0, "ho"); }, 301, "m_decompsvd::svd method diverge"},
      {"values, one sweep", [&] { m_decompsvd_s(a, std::nullopt, 0, "ho"); }, 301, "m_decompsvd_s::svd method diverge"},
  });
}

// ---------------------------------------------------------------- Cholesky pseudo-inverse

TEST(RescuePseudoInverseCholesky, SmallPivotsGoThroughTheSvd) {
  // L^T L = diag(1e-8, 4e-8): every pivot below eps, so Gauss-Jordan used to
  // stop with 300.
  const t_message before = m_what_exception;
  const t_matrix x = m_pinv(matrix_of(2, 2, {1e-4f, 0, 0, 2e-4f}));
  ASSERT_EQ(x.rows, 2);
  EXPECT_NEAR(test::element(x, 1, 1), 1e4f, 1e4f * 1e-6f);
  EXPECT_NEAR(test::element(x, 2, 2), 5e3f, 5e3f * 1e-6f);
  EXPECT_EQ(test::element(x, 1, 2), 0.0f);
  EXPECT_EQ(m_what_exception, before);  // no error was reported

  // A tall graded input: the least-squares inverse X A = I.
  t_matrix g = random_matrix(5, 3, 21, -0.5f, 0.5f);
  for (std::int32_t j = 1; j <= 3; ++j)
    for (std::int32_t i = 1; i <= 5; ++i) g.elements[static_cast<std::size_t>((j - 1) * 5 + i - 1)] *= 1e-4f;
  const t_matrix y = m_pinv(g);
  ASSERT_EQ(y.rows, 3);
  ASSERT_EQ(y.cols, 5);
  const t_matrix ya = m_prod_mat(y, g);
  for (std::int32_t i = 1; i <= 3; ++i)
    for (std::int32_t j = 1; j <= 3; ++j) EXPECT_NEAR(test::element(ya, i, j), i == j ? 1.0f : 0.0f, 1e-5f);
}

TEST(RescuePseudoInverseCholesky, InvertibleGramKeepsItsBits) {
  const t_matrix x = m_pinv(random_matrix(4, 4, 7, -0.5f, 0.5f));
  EXPECT_EQ(digest({&x.elements}), 0xdc3000e2b878eeb0ull);
  EXPECT_EQ(test::bits_of(m_pinv(matrix_of(2, 2, {2, 0, 0, 0.5f})).elements), test::bits_of({0.5f, 0.0f, 0.0f, 2.0f}));
}

// Kershaw's matrix has each singular value twice: the power iteration on
// the Gram matrix of its inverse cannot settle, and that spectral norm (so
// the condition number) comes from the fast SVD instead of a stop.
TEST(SpectralNormRescue, RepeatedLargestSingularValue) {
  const t_matrix k = matrix_of(4, 4, {3, -2, 0, 2, -2, 3, -2, 0, 0, -2, 3, -2, 2, 0, -2, 3});
  const double largest = 3.0 + 2.0 * std::sqrt(2.0);
  EXPECT_NEAR(m_norm(k, 2), largest, 8 * largest * 0x1p-24);
  EXPECT_NEAR(m_cond(k), largest / (3.0 - 2.0 * std::sqrt(2.0)), 34 * 1e-4);
  const t_matrix inverse = m_inverse_gaussj(k);
  EXPECT_EQ(m_norm(inverse, 2), m_svd_values(inverse).elements[0]);
  const test::child_result r = test::run_in_child([&] { (void)m_cond(k); });
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  const raising_scope raising;
  EXPECT_EQ(m_norm(inverse, 2), m_svd_values(inverse).elements[0]);
}

// Where Gauss-Jordan refuses the inverse, the condition number is
// sigma_1 / sigma_n: beyond 1 / eps for a singular matrix (infinite where
// the smallest value comes out exactly 0), about 1e12 for columns graded
// from 1 to 1e-12.
TEST(ConditionNumberRescue, NearlySingularMatrices) {
  EXPECT_GT(m_cond(matrix_of(2, 2, {1, 2, 2, 4})), 0x1p24f);
  EXPECT_EQ(m_cond(m_zeros(3, 3)), INFINITY);
  t_matrix graded = random_matrix(6, 6, 11, -1.0f, 1.0f);
  for (std::int32_t j = 0; j < 6; ++j) {
    for (std::int32_t i = 0; i < 6; ++i)
      graded.elements[static_cast<std::size_t>(j) * 6 + static_cast<std::size_t>(i)] *= std::pow(1e-12f, j / 5.0f);
  }
  const t_vector s = m_svd_values(graded);
  EXPECT_EQ(m_cond(graded), s.elements[0] / s.elements[5]);
  EXPECT_GT(m_cond(graded), 1e10f);
}

}  // namespace
}  // namespace orvik
