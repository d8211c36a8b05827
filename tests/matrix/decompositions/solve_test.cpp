// m_solve: backward error against reference LAPACK's sgesv on random,
// ill-conditioned and graded systems, the pivoting on small exact cases, the
// remembered sizes it leaves, and its error rows.

#include "support/child.hpp"
#include "support/generators.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#if ORVIK_HAVE_LAPACK
extern "C" void sgesv_(const int* n, const int* nrhs, float* a, const int* lda, int* ipiv, float* b, const int* ldb,
                       int* info);
#endif

namespace orvik {
namespace {

using test::element;
using test::matrix_of;
using test::vector_of;

const double unit = std::ldexp(1.0, -24);
// LAPACK's testing threshold for its ratios.
const double threshold = 30.0;

// ||b - A x||_inf / (n ||A||_inf ||x||_inf eps), in double from the float data.
double solve_ratio(const t_matrix& a, const std::vector<float>& x, const std::vector<float>& b) {
  const std::int32_t n = a.rows;
  double residual = 0.0;
  double norm_a = 0.0;
  double norm_x = 0.0;
  for (std::int32_t i = 1; i <= n; ++i) {
    double r = b[static_cast<std::size_t>(i - 1)];
    double row = 0.0;
    for (std::int32_t j = 1; j <= n; ++j) {
      r -= static_cast<double>(element(a, i, j)) * x[static_cast<std::size_t>(j - 1)];
      row += std::fabs(element(a, i, j));
    }
    residual = std::fmax(residual, std::fabs(r));
    norm_a = std::fmax(norm_a, row);
    norm_x = std::fmax(norm_x, std::fabs(x[static_cast<std::size_t>(i - 1)]));
  }
  return residual / (n * norm_a * norm_x * unit);
}

t_matrix hilbert(std::int32_t n) {
  t_matrix h = test::zero_matrix(n, n);
  for (std::int32_t i = 1; i <= n; ++i)
    for (std::int32_t j = 1; j <= n; ++j)
      h.elements[static_cast<std::size_t>(j - 1) * n + (i - 1)] = 1.0f / (i + j - 1);
  return h;
}

// Random with row i scaled by 2^(3i) and column j by 2^(-2j): magnitudes over
// many decades, so the pivot order matters.
t_matrix graded(std::int32_t n, unsigned seed) {
  t_matrix g = test::random_matrix(n, n, seed);
  for (std::int32_t i = 1; i <= n; ++i)
    for (std::int32_t j = 1; j <= n; ++j) {
      float& v = g.elements[static_cast<std::size_t>(j - 1) * n + (i - 1)];
      v = std::ldexp(v, 3 * i - 2 * j);
    }
  return g;
}

TEST(Solve, BackwardErrorAgainstLapack) {
#if ORVIK_HAVE_LAPACK
  struct system {
    const char* what;
    t_matrix a;
  };
  std::vector<system> systems;
  unsigned seed = 500;
  for (std::int32_t n : {1, 2, 3, 5, 8, 16, 33}) systems.push_back({"random", test::random_matrix(n, n, seed++)});
  for (std::int32_t n : {4, 6, 8}) systems.push_back({"hilbert", hilbert(n)});
  for (std::int32_t n : {5, 10}) systems.push_back({"graded", graded(n, seed++)});
  for (const system& s : systems) {
    const int n = s.a.rows;
    const int nrhs = 3;
    const t_matrix b = test::random_matrix(n, nrhs, seed++);
    const t_matrix x = m_solve(s.a, b);
    std::vector<float> lu = s.a.elements;
    std::vector<float> xl = b.elements;
    std::vector<int> ipiv(static_cast<std::size_t>(n));
    int info = 0;
    sgesv_(&n, &nrhs, lu.data(), &n, ipiv.data(), xl.data(), &n, &info);
    ASSERT_EQ(info, 0) << s.what << " " << n;
    for (std::int32_t c = 0; c < nrhs; ++c) {
      const auto col = [&](const std::vector<float>& m) {
        return std::vector<float>(m.begin() + c * n, m.begin() + (c + 1) * n);
      };
      const double ours = solve_ratio(s.a, col(x.elements), col(b.elements));
      const double theirs = solve_ratio(s.a, col(xl), col(b.elements));
      EXPECT_LT(ours, threshold) << s.what << " " << n << " lapack " << theirs;
      EXPECT_LT(theirs, threshold) << s.what << " " << n;
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(Solve, VectorFormIsOneColumnOfTheMatrixForm) {
  const t_matrix a = graded(7, 77);
  const t_matrix b = test::random_matrix(7, 4, 78);
  const t_matrix x = m_solve(a, b);
  for (std::int32_t c = 0; c < 4; ++c) {
    t_vector bc = v_zeros(7);
    std::copy_n(b.elements.begin() + 7 * c, 7, bc.elements.begin());
    const t_vector xc = m_solve(a, bc);
    EXPECT_EQ(test::bits_of(xc.elements),
              test::bits_of(std::vector<float>(x.elements.begin() + 7 * c, x.elements.begin() + 7 * (c + 1))));
  }
}

TEST(Solve, PivotsByMagnitudeWhereTheFixedReorderingFails) {
  // LU after the one-off reordering meets a zero pivot here; with a pivot
  // search at every column every step is exact.
  const t_matrix a = matrix_of(3, 3, {0, 1, 1, 1, 0, 1, 1, 1, 0});
  EXPECT_EQ(m_solve(a, vector_of({2, 2, 2})).elements, (std::vector<float>{1, 1, 1}));
  EXPECT_EQ(m_solve(a, vector_of({1, 0, 0})).elements, (std::vector<float>{-0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(m_solve(matrix_of(1, 1, {4}), vector_of({2})).elements, (std::vector<float>{0.5f}));
  // A and b are left as they were.
  EXPECT_EQ(a.elements, matrix_of(3, 3, {0, 1, 1, 1, 0, 1, 1, 1, 0}).elements);
  // An empty system has the empty solution.
  const t_vector empty = m_solve(m_zeros(0, 0), v_zeros(0));
  EXPECT_TRUE(empty.allocated);
  EXPECT_EQ(empty.size, 0);
}

TEST(Solve, ResultsAreMadeLikeVInitAndMInit) {
  const t_matrix a = matrix_of(3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
  (void)m_solve(a, vector_of({1, 2, 3}));
  t_vector v;
  v_init(v);
  EXPECT_EQ(v.size, 3);
  (void)m_solve(a, test::zero_matrix(3, 5));
  t_matrix m;
  m_init(m);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 5);
  // A refused system leaves them where they were.
  {
    raising_scope guard;
    EXPECT_THROW((void)m_solve(matrix_of(2, 2, {1, 2, 2, 4}), vector_of({1, 1})), error);
    EXPECT_THROW((void)m_solve(matrix_of(2, 2, {1, 2, 2, 4}), test::zero_matrix(2, 2)), error);
  }
  v_init(v);
  EXPECT_EQ(v.size, 3);
  m_init(m);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 5);
}

TEST(Solve, Stops) {
  const t_matrix fresh_m{};
  const t_vector fresh_v{};
  const t_matrix a = matrix_of(2, 2, {2, 1, 1, 3});
  const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  const char* singular = "m_solve::matrix is singular";
  test::expect_stops({
      {"A fresh",
       [&] {
         m_solve(fresh_m, vector_of({1, 2}));
       },
       2001, "m_solve::matrix not allocated"},
      {"A fresh before b", [&] { m_solve(fresh_m, fresh_v); }, 2001, "m_solve::matrix not allocated"},
      {"b fresh", [&] { m_solve(a, fresh_v); }, 2001, "m_solve::vector not allocated"},
      {"b fresh before the shape", [&] { m_solve(m23, fresh_v); }, 2001, "m_solve::vector not allocated"},
      {"B fresh", [&] { m_solve(a, fresh_m); }, 2001, "m_solve::matrix not allocated"},
      {"not square",
       [&] {
         m_solve(m23, vector_of({1, 2}));
       },
       202, "m_solve:: square matrix expected"},
      {"not square before sizes", [&] { m_solve(m23, test::zero_matrix(5, 1)); }, 202,
       "m_solve:: square matrix expected"},
      {"b too long",
       [&] {
         m_solve(a, vector_of({1, 2, 3}));
       },
       202, "m_solve::The number rows of the matrix must be equal to vector size"},
      {"B rows", [&] { m_solve(a, test::zero_matrix(3, 2)); }, 202,
       "m_solve::The number rows of the first matrix must be equal to the number rows of the second matrix"},
      {"zero first column",
       [&] {
         m_solve(matrix_of(2, 2, {0, 1, 0, 2}), vector_of({1, 1}));
       },
       300, singular},
      {"pivot cancels exactly",
       [&] {
         m_solve(matrix_of(2, 2, {1, 2, 2, 4}), vector_of({1, 1}));
       },
       300, singular},
      {"last pivot",
       [&] {
         m_solve(matrix_of(3, 3, {1, 1, 1, 1, 1, 1, 1, 2, 3}), test::zero_matrix(3, 1));
       },
       300, singular},
      {"singular without right-hand sides",
       [&] {
         m_solve(matrix_of(2, 2, {0, 0, 0, 0}), test::zero_matrix(2, 0));
       },
       300, singular},
  });
}

}  // namespace
}  // namespace orvik
