// Eigenvalues by reduction and implicit QR (m_eig_sym, m_eig_gen): residual
// and orthogonality on families of inputs, known spectra, values against
// LAPACK in double, the result rules (order, signs, normalisation, bits
// without vectors, remembered sizes) and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#if ORVIK_HAVE_LAPACK
extern "C" void dgeev_(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr,
                       double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr, double* work,
                       const int* lwork, int* info, std::size_t jobvl_len, std::size_t jobvr_len);
#endif

namespace orvik {
namespace {

using test::element;
using test::matrix_of;
using test::zero_matrix;

std::size_t at(std::int32_t i, std::int32_t j, std::int32_t n) {
  return static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i);
}

// The lower triangle of `m` mirrored into the upper one.
t_matrix symmetrised(t_matrix m) {
  for (std::int32_t j = 0; j < m.cols; ++j)
    for (std::int32_t i = 0; i < j; ++i) m.elements[at(i, j, m.rows)] = m.elements[at(j, i, m.rows)];
  return m;
}

// A random orthogonal matrix (a product of reflectors, in double).
std::vector<double> random_orthogonal(std::int32_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> dist;
  std::vector<double> q(static_cast<std::size_t>(n) * n, 0.0);
  for (std::int32_t i = 0; i < n; ++i) q[at(i, i, n)] = 1.0;
  for (std::int32_t r = 0; r < n; ++r) {
    std::vector<double> u(static_cast<std::size_t>(n));
    double s = 0.0;
    for (double& x : u) {
      x = dist(gen);
      s += x * x;
    }
    for (std::int32_t i = 0; i < n; ++i) {
      double d = 0.0;
      for (std::int32_t k = 0; k < n; ++k) d += q[at(i, k, n)] * u[static_cast<std::size_t>(k)];
      for (std::int32_t k = 0; k < n; ++k) q[at(i, k, n)] -= 2.0 * d * u[static_cast<std::size_t>(k)] / s;
    }
  }
  return q;
}

// Q diag(lambda) Q^T, formed in double and rounded once, lower triangle
// mirrored so that it is exactly symmetric.
t_matrix with_spectrum(const std::vector<double>& lambda, unsigned seed) {
  const auto n = static_cast<std::int32_t>(lambda.size());
  const std::vector<double> q = random_orthogonal(n, seed);
  t_matrix m = zero_matrix(n, n);
  for (std::int32_t j = 0; j < n; ++j)
    for (std::int32_t i = j; i < n; ++i) {
      double s = 0.0;
      for (std::int32_t k = 0; k < n; ++k) s += q[at(i, k, n)] * lambda[static_cast<std::size_t>(k)] * q[at(j, k, n)];
      m.elements[at(i, j, n)] = static_cast<float>(s);
    }
  return symmetrised(m);
}

// ||A V - V diag(w)||_F / (||A||_F n eps).
double eigen_residual(const t_matrix& a, const t_eig& e) {
  const std::int32_t n = a.rows;
  double r = 0.0;
  double an = 0.0;
  for (const float x : a.elements) an += static_cast<double>(x) * x;
  for (std::int32_t j = 0; j < n; ++j)
    for (std::int32_t i = 0; i < n; ++i) {
      double s =
          -static_cast<double>(e.eigvals.elements[static_cast<std::size_t>(j)]) * e.eigvecs.elements[at(i, j, n)];
      for (std::int32_t k = 0; k < n; ++k)
        s += static_cast<double>(a.elements[at(i, k, n)]) * e.eigvecs.elements[at(k, j, n)];
      r += s * s;
    }
  if (an == 0.0) return std::sqrt(r) / test::eps;
  return std::sqrt(r) / (std::sqrt(an) * n * test::eps);
}

// ||V^T V - I||_F / (n eps).
double frobenius_orthogonality(const t_matrix& v) {
  const std::int32_t n = v.cols;
  double o = 0.0;
  for (std::int32_t j = 0; j < n; ++j)
    for (std::int32_t i = 0; i < n; ++i) {
      double g = i == j ? -1.0 : 0.0;
      for (std::int32_t k = 0; k < v.rows; ++k)
        g += static_cast<double>(v.elements[at(k, i, v.rows)]) * v.elements[at(k, j, v.rows)];
      o += g * g;
    }
  return std::sqrt(o) / (n * test::eps);
}

// The result rules every call must keep: sorted values, the sign rule, the
// same value bits without vectors, the input untouched, and the quality.
void expect_good_symmetric(const t_matrix& a, const std::string& what) {
  SCOPED_TRACE(what);
  const t_matrix before = a;
  const t_eig e = m_eig_sym(a);
  const t_eig values_only = m_eig_sym(a, false);
  EXPECT_EQ(test::bits_of(a.elements), test::bits_of(before.elements));
  const std::int32_t n = a.rows;
  ASSERT_EQ(e.eigvals.size, n);
  ASSERT_TRUE(e.eigvecs.allocated);
  EXPECT_FALSE(values_only.eigvecs.allocated);
  EXPECT_EQ(test::bits_of(values_only.eigvals.elements), test::bits_of(e.eigvals.elements));
  EXPECT_TRUE(std::is_sorted(e.eigvals.elements.begin(), e.eigvals.elements.end()));
  for (std::int32_t j = 0; j < n; ++j) {
    std::int32_t big = 0;
    for (std::int32_t i = 1; i < n; ++i)
      if (std::fabs(e.eigvecs.elements[at(i, j, n)]) > std::fabs(e.eigvecs.elements[at(big, j, n)])) big = i;
    EXPECT_GT(e.eigvecs.elements[at(big, j, n)], 0.0f) << "column " << j;
  }
  EXPECT_LE(eigen_residual(a, e), test::residual_threshold);
  EXPECT_LE(frobenius_orthogonality(e.eigvecs), test::orthogonality_threshold);
}

TEST(SymmetricEigen, FamiliesHaveSmallResidualsAndOrthogonalVectors) {
  for (const std::int32_t n : {1, 2, 3, 4, 10, 33, 64, 100}) {
    expect_good_symmetric(symmetrised(test::random_matrix(n, n, 500U + static_cast<unsigned>(n))),
                          "random " + std::to_string(n));
    // Graded: entries from 1 down to 10^-(n-1)-ish across rows and columns.
    t_matrix g = symmetrised(test::random_matrix(n, n, 600U + static_cast<unsigned>(n)));
    for (std::int32_t j = 0; j < n; ++j)
      for (std::int32_t i = 0; i < n; ++i) g.elements[at(i, j, n)] *= std::ldexp(1.0f, -(i + j) / 2);
    expect_good_symmetric(g, "graded " + std::to_string(n));
    // Clustered: three distinct values, each repeated.
    std::vector<double> lambda(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) lambda[static_cast<std::size_t>(i)] = static_cast<double>(i % 3) - 1.0;
    expect_good_symmetric(with_spectrum(lambda, 700U + static_cast<unsigned>(n)), "clustered " + std::to_string(n));
    t_matrix d = zero_matrix(n, n);
    for (std::int32_t i = 0; i < n; ++i) d.elements[at(i, i, n)] = static_cast<float>((i * 7) % 5) - 2.0f;
    expect_good_symmetric(d, "diagonal " + std::to_string(n));
    t_matrix t = zero_matrix(n, n);
    for (std::int32_t i = 0; i < n; ++i) {
      t.elements[at(i, i, n)] = 2.0f;
      if (i + 1 < n) {
        t.elements[at(i + 1, i, n)] = -1.0f;
        t.elements[at(i, i + 1, n)] = -1.0f;
      }
    }
    expect_good_symmetric(t, "tridiagonal " + std::to_string(n));
  }
  expect_good_symmetric(test::hilbert_matrix(12), "hilbert 12");
  expect_good_symmetric(zero_matrix(5, 5), "zero 5");
}

TEST(SymmetricEigen, KnownSpectraAreFound) {
  // The second difference matrix: 2 - 2 cos(k pi / (n + 1)).
  const std::int32_t n = 40;
  t_matrix t = zero_matrix(n, n);
  for (std::int32_t i = 0; i < n; ++i) {
    t.elements[at(i, i, n)] = 2.0f;
    if (i + 1 < n) t.elements[at(i + 1, i, n)] = t.elements[at(i, i + 1, n)] = -1.0f;
  }
  const t_eig e = m_eig_sym(t, false);
  for (std::int32_t k = 1; k <= n; ++k) {
    const double exact = 2.0 - 2.0 * std::cos(k * 3.14159265358979323846 / (n + 1));
    EXPECT_LE(test::agreement_ratio(e.eigvals.elements[static_cast<std::size_t>(k - 1)], exact, 4.0, n),
              test::agreement_threshold);
  }
  // Q diag(lambda) Q^T with a wide spread and a repeated value.
  const std::vector<double> lambda = {-1000.0, -3.5, 0.0, 1e-3, 2.0, 2.0, 2.0, 7.25, 512.0};
  const t_eig f = m_eig_sym(with_spectrum(lambda, 31));
  for (std::size_t i = 0; i < lambda.size(); ++i) {
    EXPECT_LE(test::agreement_ratio(f.eigvals.elements[i], lambda[i], 1000.0, 9), test::agreement_threshold) << i;
  }
}

TEST(SymmetricEigen, ValuesAgreeWithLapackInDouble) {
#if ORVIK_HAVE_LAPACK
  for (const std::int32_t n : {5, 31, 90}) {
    const t_matrix a = symmetrised(test::random_matrix(n, n, 800U + static_cast<unsigned>(n), -3.0f, 3.0f));
    const std::vector<double> reference = test::reference_symmetric_eigenvalues(a);
    const t_eig e = m_eig_sym(a, false);
    const double scale = std::max(std::fabs(reference.front()), std::fabs(reference.back()));
    for (std::size_t i = 0; i < reference.size(); ++i) {
      EXPECT_LE(test::agreement_ratio(e.eigvals.elements[i], reference[i], scale, n), test::agreement_threshold)
          << "n=" << n << " i=" << i;
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(SymmetricEigen, WorkedCasesSignsAndScaling) {
  // [[2, 1], [1, 2]]: 1 and 3, vectors (1, -1)/sqrt 2 and (1, 1)/sqrt 2 with
  // the first of the equal magnitudes positive.
  const t_eig e = m_eig_sym(matrix_of(2, 2, {2, 1, 1, 2}));
  EXPECT_NEAR(e.eigvals.elements[0], 1.0f, 1e-6f);
  EXPECT_NEAR(e.eigvals.elements[1], 3.0f, 1e-6f);
  EXPECT_NEAR(element(e.eigvecs, 1, 1), 0.70710678f, 1e-6f);
  EXPECT_NEAR(element(e.eigvecs, 2, 1), -0.70710678f, 1e-6f);
  EXPECT_NEAR(element(e.eigvecs, 1, 2), 0.70710678f, 1e-6f);
  EXPECT_NEAR(element(e.eigvecs, 2, 2), 0.70710678f, 1e-6f);
  // A diagonal input: the values sorted, ties in their diagonal order, the
  // vectors the matching unit columns.
  const t_eig d = m_eig_sym(matrix_of(3, 3, {4, 0, 0, 0, -1, 0, 0, 0, 4}));
  test::expect_same_vector(d.eigvals, {-1, 4, 4});
  test::expect_same_matrix(d.eigvecs, matrix_of(3, 3, {0, 1, 0, 1, 0, 0, 0, 0, 1}));
  // A power-of-two multiple gives exactly the multiple of the values, from
  // the tiniest normal scales to the largest.
  const t_matrix a = symmetrised(test::random_matrix(20, 20, 901));
  const t_eig base = m_eig_sym(a, false);
  for (const int k : {-100, -20, 7, 100}) {
    t_matrix b = a;
    for (float& x : b.elements) x = std::ldexp(x, k);
    const t_eig scaled = m_eig_sym(b);
    for (std::size_t i = 0; i < base.eigvals.elements.size(); ++i)
      ASSERT_EQ(scaled.eigvals.elements[i], std::ldexp(base.eigvals.elements[i], k)) << k << " " << i;
    EXPECT_LE(frobenius_orthogonality(scaled.eigvecs), test::orthogonality_threshold);
  }
}

TEST(SymmetricEigen, ResultsAndRememberedSizes) {
  // eigvals by v_init, then eigvecs by m_init.
  const t_eig e = m_eig_sym(symmetrised(test::random_matrix(6, 6, 3)));
  EXPECT_EQ(test::remembered_matrix_shape(), std::make_pair(6, 6));
  EXPECT_EQ(test::remembered_vector_size(), 6);
  t_matrix probe;
  m_init(probe, 2, 3);
  const t_eig v = m_eig_sym(symmetrised(test::random_matrix(4, 4, 5)), false);
  EXPECT_EQ(test::remembered_vector_size(), 4);
  EXPECT_EQ(test::remembered_matrix_shape(), std::make_pair(2, 3));
  const t_eig empty = m_eig_sym(zero_matrix(0, 0));
  EXPECT_TRUE(empty.eigvals.allocated);
  EXPECT_EQ(empty.eigvals.size, 0);
  EXPECT_TRUE(empty.eigvecs.allocated);
  EXPECT_EQ(empty.eigvecs.rows, 0);
  EXPECT_EQ(test::remembered_vector_size(), 4);
}

TEST(SymmetricEigen, Stops) {
  const t_matrix fresh;
  t_matrix nan_pair = symmetrised(test::random_matrix(3, 3, 8));
  nan_pair.elements[at(2, 0, 3)] = std::numeric_limits<float>::quiet_NaN();
  nan_pair.elements[at(0, 2, 3)] = std::numeric_limits<float>::quiet_NaN();
  t_matrix infinite = symmetrised(test::random_matrix(3, 3, 9));
  infinite.elements[at(1, 1, 3)] = std::numeric_limits<float>::infinity();
  test::expect_stops({
      {"fresh", [&] { m_eig_sym(fresh); }, 2001, "m_eig_sym::matrix not allocated"},
      {"not square", [] { m_eig_sym(zero_matrix(2, 3)); }, 202, "m_eig_sym:: square matrix expected"},
      {"not symmetric",
       [] {
         m_eig_sym(matrix_of(2, 2, {1, 2, 2.0000002f, 1}));
       },
       202, "m_eig_sym::symmetric matrix expected"},
      {"nan pair", [&] { m_eig_sym(nan_pair, false); }, 300, "m_eig_sym::matrix has an entry that is not finite"},
      {"infinite", [&] { m_eig_sym(infinite); }, 300, "m_eig_sym::matrix has an entry that is not finite"},
  });
}

// ---------------------------------------------------------------------------
// m_eig_gen

using complex = std::complex<double>;

// The eigenvector of value j as complex numbers, from the real storage.
std::vector<complex> vector_of_value(const t_eig_gen& e, std::int32_t j) {
  const std::int32_t n = e.vectors.rows;
  std::vector<complex> v(static_cast<std::size_t>(n));
  const float im = e.im.elements[static_cast<std::size_t>(j)];
  for (std::int32_t i = 0; i < n; ++i) {
    if (im == 0.0f) {
      v[static_cast<std::size_t>(i)] = e.vectors.elements[at(i, j, n)];
    } else if (im > 0.0f) {
      v[static_cast<std::size_t>(i)] = {e.vectors.elements[at(i, j, n)], e.vectors.elements[at(i, j + 1, n)]};
    } else {
      v[static_cast<std::size_t>(i)] = {e.vectors.elements[at(i, j - 1, n)], -e.vectors.elements[at(i, j, n)]};
    }
  }
  return v;
}

// ||A V - V diag(w)||_F / (||A||_F n eps) over all the complex pairs.
double general_residual(const t_matrix& a, const t_eig_gen& e) {
  const std::int32_t n = a.rows;
  double r = 0.0;
  double an = 0.0;
  for (const float x : a.elements) an += static_cast<double>(x) * x;
  for (std::int32_t j = 0; j < n; ++j) {
    const complex lambda(e.re.elements[static_cast<std::size_t>(j)], e.im.elements[static_cast<std::size_t>(j)]);
    const std::vector<complex> v = vector_of_value(e, j);
    for (std::int32_t i = 0; i < n; ++i) {
      complex s = -lambda * v[static_cast<std::size_t>(i)];
      for (std::int32_t k = 0; k < n; ++k)
        s += static_cast<double>(a.elements[at(i, k, n)]) * v[static_cast<std::size_t>(k)];
      r += std::norm(s);
    }
  }
  if (an == 0.0) return std::sqrt(r) / test::eps;
  return std::sqrt(r) / (std::sqrt(an) * n * test::eps);
}

// The rules of every result: pairs consecutive and conjugate, the positive
// imaginary part first; unit vectors with a real largest component; the
// same value bits without vectors; the input untouched; a small residual.
void expect_good_general(const t_matrix& a, const std::string& what) {
  SCOPED_TRACE(what);
  const t_matrix before = a;
  const t_eig_gen e = m_eig_gen(a, true);
  const t_eig_gen values_only = m_eig_gen(a);
  EXPECT_EQ(test::bits_of(a.elements), test::bits_of(before.elements));
  EXPECT_FALSE(values_only.vectors.allocated);
  EXPECT_EQ(test::bits_of(values_only.re.elements), test::bits_of(e.re.elements));
  EXPECT_EQ(test::bits_of(values_only.im.elements), test::bits_of(e.im.elements));
  const std::int32_t n = a.rows;
  for (std::int32_t j = 0; j < n; ++j) {
    const float im = e.im.elements[static_cast<std::size_t>(j)];
    if (im == 0.0f) continue;
    ASSERT_GT(im, 0.0f) << j;
    ASSERT_LT(j + 1, n);
    EXPECT_EQ(e.im.elements[static_cast<std::size_t>(j + 1)], -im);
    EXPECT_EQ(e.re.elements[static_cast<std::size_t>(j + 1)], e.re.elements[static_cast<std::size_t>(j)]);
    ++j;
  }
  for (std::int32_t j = 0; j < n; ++j) {
    const std::vector<complex> v = vector_of_value(e, j);
    double len = 0.0;
    std::size_t big = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
      len += std::norm(v[i]);
      if (std::norm(v[i]) > std::norm(v[big])) big = i;
    }
    EXPECT_NEAR(std::sqrt(len), 1.0, 8 * n * test::eps) << j;
    EXPECT_LE(std::fabs(v[big].imag()), 4 * test::eps * std::abs(v[big])) << j;
  }
  EXPECT_LE(general_residual(a, e), test::residual_threshold);
}

// The companion matrix of the monic polynomial with these roots (complex
// ones in conjugate pairs), formed in double and rounded once.
t_matrix companion(const std::vector<complex>& roots) {
  const auto n = static_cast<std::int32_t>(roots.size());
  std::vector<complex> c(static_cast<std::size_t>(n) + 1, 0.0);
  c[0] = 1.0;
  for (std::int32_t k = 0; k < n; ++k)
    for (std::int32_t j = k + 1; j > 0; --j)
      c[static_cast<std::size_t>(j)] -= roots[static_cast<std::size_t>(k)] * c[static_cast<std::size_t>(j - 1)];
  t_matrix m = zero_matrix(n, n);
  for (std::int32_t i = 1; i < n; ++i) m.elements[at(i, i - 1, n)] = 1.0f;
  for (std::int32_t i = 0; i < n; ++i)
    m.elements[at(i, n - 1, n)] = static_cast<float>(-c[static_cast<std::size_t>(n - i)].real());
  return m;
}

// Every expected value has a computed one within tol (and the counts agree).
void expect_values_near(const t_eig_gen& e, std::vector<complex> expected, double tol) {
  ASSERT_EQ(static_cast<std::size_t>(e.re.size), expected.size());
  for (std::size_t j = 0; j < expected.size(); ++j) {
    const complex got(e.re.elements[j], e.im.elements[j]);
    auto best = std::min_element(expected.begin(), expected.end(), [&](const complex& x, const complex& y) {
      return std::abs(x - got) < std::abs(y - got);
    });
    EXPECT_LE(std::abs(*best - got), tol) << got;
    expected.erase(best);
  }
}

TEST(GeneralEigen, FamiliesHaveSmallResiduals) {
  for (const std::int32_t n : {1, 2, 3, 4, 9, 32, 70}) {
    expect_good_general(test::random_matrix(n, n, 1000U + static_cast<unsigned>(n)), "random " + std::to_string(n));
    expect_good_general(test::graded_matrix(n, n, 1100U + static_cast<unsigned>(n), 0.5f),
                        "graded " + std::to_string(n));
    t_matrix d = zero_matrix(n, n);
    for (std::int32_t i = 0; i < n; ++i) d.elements[at(i, i, n)] = static_cast<float>((i * 5) % 7) - 3.0f;
    expect_good_general(d, "diagonal " + std::to_string(n));
    t_matrix t = zero_matrix(n, n);
    for (std::int32_t i = 0; i < n; ++i) {
      t.elements[at(i, i, n)] = 1.0f;
      if (i + 1 < n) {
        t.elements[at(i + 1, i, n)] = -2.0f;
        t.elements[at(i, i + 1, n)] = 0.5f;
      }
    }
    expect_good_general(t, "tridiagonal " + std::to_string(n));
    // Clustered: a similarity of a diagonal with three repeated values.
    std::vector<double> lambda(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) lambda[static_cast<std::size_t>(i)] = static_cast<double>(i % 3);
    expect_good_general(with_spectrum(lambda, 1200U + static_cast<unsigned>(n)), "clustered " + std::to_string(n));
  }
  // A rotation block, an upper triangle, and a matrix with a zero row.
  expect_good_general(matrix_of(2, 2, {0, -1, 1, 0}), "rotation");
  expect_good_general(matrix_of(3, 3, {1, 2, 3, 0, 4, 5, 0, 0, 6}), "triangular");
  expect_good_general(matrix_of(3, 3, {1, 2, 3, 0, 0, 0, 7, 8, 9}), "zero row");
  expect_good_general(zero_matrix(4, 4), "zero");
}

TEST(GeneralEigen, KnownSpectraAreFound) {
  const std::vector<complex> roots = {{1.0, 0.0}, {-2.0, 0.0}, {0.5, 1.5}, {0.5, -1.5},
                                      {3.0, 0.0}, {0.0, 1.0},  {0.0, -1.0}};
  const t_matrix c = companion(roots);
  expect_good_general(c, "companion");
  expect_values_near(m_eig_gen(c), roots, 1e-4);
  // [[a, b], [-b, a]]: exactly a +- i b, the positive imaginary part first.
  const t_eig_gen r = m_eig_gen(matrix_of(2, 2, {3, 4, -4, 3}));
  test::expect_same_vector(r.re, {3, 3});
  test::expect_same_vector(r.im, {4, -4});
  // Upper triangular: the diagonal in order.
  const t_eig_gen u = m_eig_gen(matrix_of(3, 3, {1, 2, 3, 0, 4, 5, 0, 0, 6}));
  expect_values_near(u, {1.0, 4.0, 6.0}, 1e-6);
}

// Rows and columns zero off the diagonal isolate their diagonal entry: the
// balancing's permutation leaves those eigenvalues exact (here many zeros,
// as on an input-output table with empty sectors), and the vectors come
// back through the exchanges.
TEST(GeneralEigen, IsolatedEigenvaluesAreExact) {
  t_matrix a = test::random_matrix(9, 9, 31);
  const auto entry = [&](std::int32_t i, std::int32_t j) -> float& {
    return a.elements[static_cast<std::size_t>(j) * 9 + static_cast<std::size_t>(i)];
  };
  for (const std::int32_t r : {1, 4, 7}) {
    for (std::int32_t j = 0; j < 9; ++j) entry(r, j) = 0.0f;  // zero rows: eigenvalue 0
  }
  for (std::int32_t i = 0; i < 9; ++i) {
    if (i != 2) entry(i, 2) = 0.0f;  // column 2 zero off the diagonal: its entry
  }
  entry(2, 2) = 0.75f;
  expect_good_general(a, "isolated");
  const t_eig_gen e = m_eig_gen(a);
  const auto count = [&](float value) {
    std::int32_t c = 0;
    for (std::int32_t i = 0; i < 9; ++i) {
      if (e.re.elements[static_cast<std::size_t>(i)] == value && e.im.elements[static_cast<std::size_t>(i)] == 0.0f) {
        ++c;
      }
    }
    return c;
  };
  EXPECT_EQ(count(0.0f), 3);
  EXPECT_EQ(count(0.75f), 1);
}

TEST(GeneralEigen, ValuesAgreeWithLapackInDouble) {
#if ORVIK_HAVE_LAPACK
  for (const std::int32_t n : {6, 40, 100}) {
    const t_matrix a = test::random_matrix(n, n, 1300U + static_cast<unsigned>(n));
    std::vector<double> work_a(a.elements.begin(), a.elements.end());
    std::vector<double> wr(static_cast<std::size_t>(n));
    std::vector<double> wi(static_cast<std::size_t>(n));
    const int lwork = 8 * n + 64;
    std::vector<double> work(static_cast<std::size_t>(lwork));
    int info = 0;
    const int one = 1;
    const int order = n;
    double dummy = 0.0;
    dgeev_("N", "N", &order, work_a.data(), &order, wr.data(), wi.data(), &dummy, &one, &dummy, &one, work.data(),
           &lwork, &info, 1, 1);
    ASSERT_EQ(info, 0);
    std::vector<complex> reference;
    double scale = 0.0;
    for (std::size_t i = 0; i < wr.size(); ++i) {
      reference.emplace_back(wr[i], wi[i]);
      scale = std::max(scale, std::abs(reference.back()));
    }
    // Random matrices' eigenvalues are well conditioned enough for this.
    expect_values_near(m_eig_gen(a), reference, test::agreement_threshold * n * test::eps * scale);
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(GeneralEigen, ResultsRememberedSizesAndStops) {
  const t_eig_gen e = m_eig_gen(test::random_matrix(5, 5, 4), true);
  EXPECT_EQ(test::remembered_vector_size(), 5);
  EXPECT_EQ(test::remembered_matrix_shape(), std::make_pair(5, 5));
  t_eig_gen released = e;
  m_destruct_t_eig_gen(released);
  EXPECT_FALSE(released.re.allocated || released.im.allocated || released.vectors.allocated);
  const t_eig_gen empty = m_eig_gen(zero_matrix(0, 0), true);
  EXPECT_EQ(empty.re.size, 0);
  EXPECT_EQ(empty.im.size, 0);
  EXPECT_TRUE(empty.vectors.allocated);
  EXPECT_EQ(test::remembered_vector_size(), 5);

  const t_matrix fresh;
  t_matrix with_nan = test::random_matrix(3, 3, 10);
  with_nan.elements[4] = std::numeric_limits<float>::quiet_NaN();
  t_matrix with_inf = test::random_matrix(3, 3, 11);
  with_inf.elements[7] = -std::numeric_limits<float>::infinity();
  test::expect_stops({
      {"fresh", [&] { m_eig_gen(fresh); }, 2001, "m_eig_gen::matrix not allocated"},
      {"not square", [] { m_eig_gen(zero_matrix(3, 2), true); }, 202, "m_eig_gen:: square matrix expected"},
      {"nan", [&] { m_eig_gen(with_nan); }, 300, "m_eig_gen::matrix has an entry that is not finite"},
      {"infinite", [&] { m_eig_gen(with_inf, true); }, 300, "m_eig_gen::matrix has an entry that is not finite"},
  });
}

}  // namespace
}  // namespace orvik
