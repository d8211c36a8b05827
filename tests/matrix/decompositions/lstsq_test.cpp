// m_lstsq: backward error against reference LAPACK's sgels on consistent and
// inconsistent, random and ill-conditioned systems, columns near the ends of
// the float range, the remembered sizes it leaves, and its error rows.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#if ORVIK_HAVE_LAPACK
extern "C" void sgels_(const char* trans, const int* m, const int* n, const int* nrhs, float* a, const int* lda,
                       float* b, const int* ldb, float* work, const int* lwork, int* info, std::size_t trans_len);
#endif

namespace orvik {
namespace {

using test::element;
using test::matrix_of;
using test::vector_of;

const double unit = std::ldexp(1.0, -24);
const double threshold = 30.0;

struct ratios {
  double residual;  // ||b - A x|| / (max(m, n) ||A|| ||x|| eps): small for a consistent system
  double normal;    // ||A^T r|| / (max(m, n) ||A|| (||A|| ||x|| + ||b||) eps): small always
};

// Frobenius and 2-norms in double from the float data.
ratios lstsq_ratios(const t_matrix& a, const float* x, const float* b) {
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  std::vector<double> r(static_cast<std::size_t>(m));
  double norm_a = 0.0;
  double norm_x = 0.0;
  double norm_b = 0.0;
  double norm_r = 0.0;
  for (std::int32_t i = 1; i <= m; ++i) {
    double s = b[i - 1];
    for (std::int32_t j = 1; j <= n; ++j) {
      s -= static_cast<double>(element(a, i, j)) * x[j - 1];
      norm_a += static_cast<double>(element(a, i, j)) * element(a, i, j);
    }
    r[static_cast<std::size_t>(i - 1)] = s;
    norm_r += s * s;
    norm_b += static_cast<double>(b[i - 1]) * b[i - 1];
  }
  for (std::int32_t j = 1; j <= n; ++j) norm_x += static_cast<double>(x[j - 1]) * x[j - 1];
  double norm_atr = 0.0;
  for (std::int32_t j = 1; j <= n; ++j) {
    double s = 0.0;
    for (std::int32_t i = 1; i <= m; ++i) s += element(a, i, j) * r[static_cast<std::size_t>(i - 1)];
    norm_atr += s * s;
  }
  norm_a = std::sqrt(norm_a);
  const double scale = std::max(m, n) * unit * norm_a;
  return {std::sqrt(norm_r) / (scale * std::sqrt(norm_x)),
          std::sqrt(norm_atr) / (scale * (norm_a * std::sqrt(norm_x) + std::sqrt(norm_b)))};
}

TEST(Lstsq, BackwardErrorAgainstLapack) {
#if ORVIK_HAVE_LAPACK
  struct system {
    const char* what;
    t_matrix a;
  };
  std::vector<system> systems;
  unsigned seed = 700;
  const std::int32_t shapes[][2] = {{1, 1}, {3, 3}, {5, 2}, {10, 4}, {30, 7}, {64, 16}};
  for (const auto& shape : shapes) systems.push_back({"random", test::random_matrix(shape[0], shape[1], seed++)});
  // Tall Hilbert sections, condition numbers up to about 1e6.
  for (std::int32_t n : {4, 5}) {
    t_matrix h = test::zero_matrix(2 * n, n);
    for (std::int32_t i = 1; i <= 2 * n; ++i)
      for (std::int32_t j = 1; j <= n; ++j)
        h.elements[static_cast<std::size_t>(j - 1) * 2 * n + (i - 1)] = 1.0f / (i + j - 1);
    systems.push_back({"hilbert", h});
  }
  // Columns graded over twelve binary orders each.
  {
    t_matrix g = test::random_matrix(12, 5, seed++);
    for (std::int32_t j = 1; j <= 5; ++j)
      for (std::int32_t i = 1; i <= 12; ++i) {
        float& v = g.elements[static_cast<std::size_t>(j - 1) * 12 + (i - 1)];
        v = std::ldexp(v, -12 * j);
      }
    systems.push_back({"graded", g});
  }
  for (const system& s : systems) {
    const int m = s.a.rows;
    const int n = s.a.cols;
    for (bool consistent : {true, false}) {
      // Column 1 of B is A times a random x, column 2 random.
      const int nrhs = 2;
      const t_matrix x0 = test::random_matrix(n, 1, seed++);
      t_matrix b = test::random_matrix(m, nrhs, seed++);
      if (consistent) {
        const std::vector<double> ax = test::product(test::widen(s.a), test::widen(x0)).values;
        for (int i = 0; i < m; ++i) b.elements[static_cast<std::size_t>(i)] = static_cast<float>(ax[i]);
      }
      const t_matrix x = m_lstsq(s.a, b);
      ASSERT_EQ(x.rows, n);
      ASSERT_EQ(x.cols, nrhs);
      std::vector<float> qr = s.a.elements;
      std::vector<float> xl = b.elements;
      const int lwork = 64 * (m + n + nrhs);
      std::vector<float> work(static_cast<std::size_t>(lwork));
      int info = 0;
      sgels_("N", &m, &n, &nrhs, qr.data(), &m, xl.data(), &m, work.data(), &lwork, &info, 1);
      ASSERT_EQ(info, 0);
      for (int c = 0; c < nrhs; ++c) {
        const float* bc = b.elements.data() + c * m;
        const ratios ours = lstsq_ratios(s.a, x.elements.data() + c * n, bc);
        const ratios theirs = lstsq_ratios(s.a, xl.data() + c * m, bc);
        EXPECT_LT(ours.normal, threshold) << s.what << " " << m << "x" << n << " lapack " << theirs.normal;
        EXPECT_LT(theirs.normal, threshold) << s.what << " " << m << "x" << n;
        if (consistent && c == 0) {
          EXPECT_LT(ours.residual, threshold) << s.what << " " << m << "x" << n << " lapack " << theirs.residual;
          EXPECT_LT(theirs.residual, threshold) << s.what << " " << m << "x" << n;
        }
      }
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(Lstsq, SmallExactCasesAndTheEndsOfTheRange) {
  // One reflection maps (3, 4) onto (-5, 0) and b along with it.
  EXPECT_EQ(m_lstsq(matrix_of(2, 1, {3, 4}), vector_of({3, 4})).elements, (std::vector<float>{1}));
  // The column's norm taken naively would underflow to 0 or overflow to
  // infinity; scaled, these are ordinary systems.
  // Subnormal entries keep only the bits above 2^-149, hence the looser bound.
  const struct {
    float s;
    float tol;
  } scales[] = {{1e-30f, 4e-6f}, {1e30f, 4e-6f}, {std::ldexp(1.0f, -140), 1e-2f}};
  for (const auto& [s, tol] : scales) {
    const t_vector x = m_lstsq(matrix_of(3, 2, {3 * s, 3 * s, 4 * s, 0, 0, 4 * s}), vector_of({6 * s, 4 * s, 4 * s}));
    EXPECT_NEAR(x.elements[0], 1.0f, tol) << s;
    EXPECT_NEAR(x.elements[1], 1.0f, tol) << s;
  }
  // The least-squares fit of an inconsistent system: y = 1 + 2t through
  // (0, 1), (1, 3), (2, 5) and the outlier (3, 8).
  const t_vector fit = m_lstsq(matrix_of(4, 2, {1, 0, 1, 1, 1, 2, 1, 3}), vector_of({1, 3, 5, 8}));
  EXPECT_NEAR(fit.elements[0], 0.8f, 1e-5f);
  EXPECT_NEAR(fit.elements[1], 2.3f, 1e-5f);
  // The matrix form solves each column as the vector form does, bit for bit.
  const t_matrix a = test::random_matrix(9, 4, 91);
  const t_matrix b = test::random_matrix(9, 3, 92);
  const t_matrix x = m_lstsq(a, b);
  for (std::int32_t c = 0; c < 3; ++c) {
    t_vector bc = v_zeros(9);
    std::copy_n(b.elements.begin() + 9 * c, 9, bc.elements.begin());
    EXPECT_EQ(test::bits_of(m_lstsq(a, bc).elements),
              test::bits_of(std::vector<float>(x.elements.begin() + 4 * c, x.elements.begin() + 4 * (c + 1))));
  }
}

TEST(Lstsq, ResultsAreMadeLikeVInitAndMInit) {
  const t_matrix a = matrix_of(5, 2, {1, 0, 1, 1, 1, 2, 1, 3, 1, 4});
  (void)m_lstsq(a, vector_of({1, 2, 3, 4, 5}));
  t_vector v;
  v_init(v);
  EXPECT_EQ(v.size, 2);
  (void)m_lstsq(a, test::zero_matrix(5, 3));
  t_matrix m;
  m_init(m);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 3);
  {
    raising_scope guard;
    EXPECT_THROW((void)m_lstsq(matrix_of(3, 2, {1, 0, 2, 0, 3, 0}), vector_of({1, 1, 1})), error);
  }
  v_init(v);
  EXPECT_EQ(v.size, 2);
  const t_vector empty = m_lstsq(m_zeros(3, 0), vector_of({1, 2, 3}));
  EXPECT_TRUE(empty.allocated);
  EXPECT_EQ(empty.size, 0);
}

TEST(Lstsq, Stops) {
  const t_matrix fresh_m{};
  const t_vector fresh_v{};
  const t_matrix tall = matrix_of(3, 2, {1, 2, 3, 4, 5, 6});
  const t_matrix wide = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  const char* deficient = "m_lstsq::matrix is rank deficient";
  test::expect_stops({
      {"A fresh",
       [&] {
         m_lstsq(fresh_m, vector_of({1, 2}));
       },
       2001, "m_lstsq::matrix not allocated"},
      {"b fresh", [&] { m_lstsq(tall, fresh_v); }, 2001, "m_lstsq::vector not allocated"},
      {"b fresh before the shape", [&] { m_lstsq(wide, fresh_v); }, 2001, "m_lstsq::vector not allocated"},
      {"B fresh", [&] { m_lstsq(tall, fresh_m); }, 2001, "m_lstsq::matrix not allocated"},
      {"wide",
       [&] {
         m_lstsq(wide, vector_of({1, 2}));
       },
       202, "m_lstsq::The number rows of the matrix must be superior or equal to its number cols"},
      {"b too short",
       [&] {
         m_lstsq(tall, vector_of({1, 2}));
       },
       202, "m_lstsq::The number rows of the matrix must be equal to vector size"},
      {"B rows", [&] { m_lstsq(tall, test::zero_matrix(2, 2)); }, 202,
       "m_lstsq::The number rows of the first matrix must be equal to the number rows of the second matrix"},
      {"zero first column",
       [&] {
         m_lstsq(matrix_of(3, 2, {0, 1, 0, 2, 0, 3}), vector_of({1, 1, 1}));
       },
       300, deficient},
      {"zero second column",
       [&] {
         m_lstsq(matrix_of(3, 2, {1, 0, 2, 0, 3, 0}), vector_of({1, 1, 1}));
       },
       300, deficient},
      {"square, zero last diagonal",
       [&] {
         m_lstsq(matrix_of(2, 2, {1, 2, 0, 0}), test::zero_matrix(2, 1));
       },
       300, deficient},
  });
}

}  // namespace
}  // namespace orvik
