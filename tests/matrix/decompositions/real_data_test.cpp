// Real inputs nobody here wrote: NIST's certified linear-regression sets and
// Matrix Market matrices with published condition numbers.
//
// The tolerances come from the condition numbers the data folder gives,
// with u = 2^-24:
// - A least-squares fit: Householder QR is backward stable, so the error of
//   the fit measured on unit-norm columns, |D (b - b*)| / |D b*| with D the
//   column norms of X, is at most about cond_s * u when the residual is
//   small and cond_s^2 * u when it is not (cond_s: the condition number of
//   X with unit columns). Rounding the data to float perturbs every entry
//   by u already, so the bound holds for the certified values too. The
//   tests allow 64 * cond_s^2 * u.
// - A square solve with partial pivoting: the forward error is at most
//   about cond * u times a small multiple of the growth; b itself is rounded
//   to float (another cond * u). The tests allow 16 * cond * u.
// - A determinant: each pivot carries a relative error of about cond * u,
//   so the product carries about n * cond * u; the tests ask for the sign
//   and a relative error below 1 / 4 where n * cond * u is small.

#include "support/real_data.hpp"
#include "support/child.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace orvik {
namespace {

constexpr double u = 0x1p-24;

constexpr const char* no_real_data =
    "no real data folder (../shared/realdata beside the source tree, or ORVIK_REALDATA): the data is not part of "
    "the project";

// |D (b - b*)| / |D b*| with D the column norms of x.
double scaled_error(const t_matrix& x, const std::vector<double>& b, const std::vector<double>& certified) {
  double num = 0.0;
  double den = 0.0;
  for (std::int32_t j = 0; j < x.cols; ++j) {
    double norm = 0.0;
    for (std::int32_t i = 0; i < x.rows; ++i) {
      const double v = x.elements[static_cast<std::size_t>(j) * static_cast<std::size_t>(x.rows) + i];
      norm += v * v;
    }
    norm = std::sqrt(norm);
    const double e = (b[static_cast<std::size_t>(j)] - certified[static_cast<std::size_t>(j)]) * norm;
    const double c = certified[static_cast<std::size_t>(j)] * norm;
    num += e * e;
    den += c * c;
  }
  return std::sqrt(num / den);
}

std::vector<double> widen(const t_vector& v) { return {v.elements.begin(), v.elements.end()}; }

TEST(RealData, CertifiedRegressions) {
  const auto found = test::real_data_folder();
  if (!found) GTEST_SKIP() << no_real_data;
  const std::filesystem::path& folder = *found;
  for (const std::string name : {"Norris", "Pontius", "NoInt1", "NoInt2"}) {
    SCOPED_TRACE(name);
    const test::regression_set set = test::read_regression_set(folder, name);
    const t_matrix x = test::design_matrix(set);
    t_vector y = v_zeros(static_cast<std::int32_t>(set.y.size()));
    for (std::size_t i = 0; i < set.y.size(); ++i) y.elements[i] = static_cast<float>(set.y[i]);
    const double cond_s = test::scaled_condition(folder, name);
    ASSERT_GT(cond_s, 0.0);
    const double tolerance = 64.0 * cond_s * cond_s * u;

    const std::vector<double> fit = widen(m_lstsq(x, y));
    const std::vector<double> by_pinv = widen(m_prod_vec1(m_pinv(x), y));
    const std::vector<double> by_svd_pinv =
        widen(m_prod_vec1(m_pinv(x, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svd"), y));
    std::printf("%-8s lstsq %.3g pinv %.3g pinv svd %.3g (tolerance %.3g); digits:", name.c_str(),
                scaled_error(x, fit, set.certified), scaled_error(x, by_pinv, set.certified),
                scaled_error(x, by_svd_pinv, set.certified), tolerance);
    for (std::size_t k = 0; k < set.certified.size(); ++k) {
      std::printf(" B%zu %.1f/%.1f/%.1f", k, test::correct_digits(fit[k], set.certified[k]),
                  test::correct_digits(by_pinv[k], set.certified[k]),
                  test::correct_digits(by_svd_pinv[k], set.certified[k]));
    }
    std::printf("\n");
    EXPECT_LE(scaled_error(x, fit, set.certified), tolerance);
    EXPECT_LE(scaled_error(x, by_pinv, set.certified), tolerance);
    // A set's digits are those of its least accurate coefficient: the
    // default pseudo-inverse gets within one of the least-squares fit's
    // wherever the fit gets two or more.
    double fit_digits = 15.0;
    double pinv_digits = 15.0;
    for (std::size_t k = 0; k < set.certified.size(); ++k) {
      fit_digits = std::min(fit_digits, test::correct_digits(fit[k], set.certified[k]));
      pinv_digits = std::min(pinv_digits, test::correct_digits(by_pinv[k], set.certified[k]));
    }
    if (fit_digits >= 2.0) {
      EXPECT_GE(pinv_digits, fit_digits - 1.0);
    }
    // Rescued or not, no stop and no line; the raising mode changes nothing.
    const test::child_result r = test::run_in_child([&] { (void)m_pinv(x); });
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    {
      const raising_scope raising;
      EXPECT_EQ(m_pinv(x).elements, m_pinv(x).elements);
    }
    // The repeated-QR SVD is not invariant under column scaling (Pontius's
    // columns span 13 orders of magnitude): its figures are reported only.
  }
}

// The determinant of a in double by LU with partial pivoting: its sign and
// the log2 of its magnitude.
std::pair<int, double> wide_determinant(const test::real_matrix& a) {
  const std::int32_t n = a.rows;
  std::vector<double> w = a.values;
  auto at = [&](std::int32_t i, std::int32_t j) -> double& {
    return w[static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)];
  };
  int sign = 1;
  double log2 = 0.0;
  for (std::int32_t k = 0; k < n; ++k) {
    std::int32_t p = k;
    for (std::int32_t i = k + 1; i < n; ++i) {
      if (std::fabs(at(i, k)) > std::fabs(at(p, k))) p = i;
    }
    if (at(p, k) == 0.0) return {0, 0.0};
    if (p != k) {
      sign = -sign;
      for (std::int32_t j = 0; j < n; ++j) std::swap(at(k, j), at(p, j));
    }
    if (at(k, k) < 0) sign = -sign;
    log2 += std::log2(std::fabs(at(k, k)));
    for (std::int32_t i = k + 1; i < n; ++i) {
      const double l = at(i, k) / at(k, k);
      for (std::int32_t j = k + 1; j < n; ++j) at(i, j) -= l * at(k, j);
    }
  }
  return {sign, log2};
}

TEST(RealData, SquareMatrices) {
  const auto found = test::real_data_folder();
  if (!found) GTEST_SKIP() << no_real_data;
  const std::filesystem::path& folder = *found;
  const auto published = test::read_published_values(folder);
  for (const std::string name : {"west0067", "gre_343", "bcsstk01", "nos5"}) {
    SCOPED_TRACE(name);
    const test::real_matrix wide = test::read_matrix_market(folder / "matrices" / (name + ".mtx"));
    const t_matrix a = wide.to_float();
    const double cond = published.at(name + ".mtx").condition_number;
    const std::int32_t n = a.rows;

    // x = ones, b = A x formed in double and rounded once.
    t_vector b = v_zeros(n);
    for (std::int32_t i = 0; i < n; ++i) {
      double s = 0.0;
      for (std::int32_t j = 0; j < n; ++j) s += static_cast<double>(a.elements[static_cast<std::size_t>(j) * n + i]);
      b.elements[static_cast<std::size_t>(i)] = static_cast<float>(s);
    }
    const t_vector x = m_solve(a, b);
    double error = 0.0;
    for (const float v : x.elements) error = std::max(error, std::fabs(static_cast<double>(v) - 1.0));
    std::printf("%-9s solve %.3g (tolerance %.3g)", name.c_str(), error, 16.0 * cond * u);
    EXPECT_LE(error, 16.0 * cond * u);

    if (m_issymmetric(a)) {
      const t_m_and_p l = m_decompcholesky(a);
      const double ratio = test::cholesky_residual_ratio(a, l.M);
      std::printf(" cholesky residual %.3g", ratio);
      EXPECT_LE(ratio, 30.0);
    }

    const auto [sign, log2] = wide_determinant(wide);
    const float d = m_det(a, "lu");
    const float dp = m_det(a, "lu", true);
    std::printf(" det 2^%.1f sign %d lu %g permute %g gaussj %g\n", log2, sign, d, dp, m_det(a));
    if (sign != 0 && log2 > -120.0 && log2 < 120.0) {
      for (const float got : {d, dp}) {
        EXPECT_TRUE(std::isfinite(got));
        EXPECT_EQ(got < 0 ? -1 : 1, sign);
        if (n * cond * u < 1e-2) {
          EXPECT_LE(std::fabs(std::log2(std::fabs(static_cast<double>(got))) - log2), 0.33);
        }
      }
    }
  }
}

TEST(RealData, OverdeterminedFit) {
  const auto found = test::real_data_folder();
  if (!found) GTEST_SKIP() << no_real_data;
  const std::filesystem::path& folder = *found;
  const auto published = test::read_published_values(folder);
  const t_matrix a = test::read_matrix_market(folder / "matrices" / "ash219.mtx").to_float();
  const double cond = published.at("ash219.mtx").condition_number;
  // A consistent system: b = A * ones is exact (sums of at most a few ones).
  t_vector b = v_zeros(a.rows);
  for (std::int32_t i = 0; i < a.rows; ++i) {
    float s = 0.0f;
    for (std::int32_t j = 0; j < a.cols; ++j) s += a.elements[static_cast<std::size_t>(j) * a.rows + i];
    b.elements[static_cast<std::size_t>(i)] = s;
  }
  for (const t_vector& x : {m_lstsq(a, b), m_prod_vec1(m_pinv(a), b)}) {
    double error = 0.0;
    for (const float v : x.elements) error = std::max(error, std::fabs(static_cast<double>(v) - 1.0));
    std::printf("ash219 %.3g (tolerance %.3g)\n", error, 64.0 * cond * cond * u);
    EXPECT_LE(error, 64.0 * cond * cond * u);
  }
}

// The published rank, 2-norm and condition number through the front ends
// that answer a plain question: the SVD rank of the 27 x 51 constraint
// matrix lp_afiro (whose plain Gram-Schmidt sweeps are refused), and a
// square unsymmetric one.
TEST(RealData, RankNormAndConditionFromTheFrontEnds) {
  const auto found = test::real_data_folder();
  if (!found) GTEST_SKIP() << no_real_data;
  const auto published = test::read_published_values(*found);
  for (const std::string name : {"lp_afiro", "west0067"}) {
    SCOPED_TRACE(name);
    const t_matrix a = test::read_matrix_market(*found / "matrices" / (name + ".mtx")).to_float();
    const test::published_values& p = published.at(name + ".mtx");
    EXPECT_EQ(m_rank(a, 1.0e-3f, "svd"), p.rank);
    EXPECT_NEAR(m_norm(a, 2), p.norm, 1e-5 * p.norm);
    if (a.rows == a.cols) {
      EXPECT_NEAR(m_cond(a), p.condition_number, 1e-3 * p.condition_number);
    }
  }
}

}  // namespace
}  // namespace orvik
