// QR by Householder reflections and by Gram-Schmidt, and the dispatcher that
// chooses between them: the method text, worked cases, the remembered defaults
// the methods leave, the residual and orthogonality ratios on random
// matrices, and every stop.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {
namespace {

using test::element;
using test::matrix_of;

const t_matrix fresh{};
const t_matrix dependent = matrix_of(3, 3, {1, 2, 0, 0, 0, 0, 0, 0, 1});

TEST(QrDecomposition, MethodTextChoosesByTrimmedCaseSensitiveText) {
  // Householder gives a square Q, both Gram-Schmidt methods a thin one.
  const t_matrix a = matrix_of(3, 2, {1, 2, 3, 4, 5, 7});
  struct choice {
    std::optional<std::string_view> method;
    std::int32_t q_cols;
  };
  const std::vector<choice> choices = {{"ho", 3},  {"ho   ", 3}, {"HO", 2},   {"h", 2},
                                       {"hou", 2}, {" ho", 2},   {"gsro", 2}, {std::nullopt, 2}};
  for (const choice& c : choices) {
    SCOPED_TRACE(std::string(c.method.value_or("(omitted)")));
    const t_qr qr = m_decompqr(a, c.method);
    EXPECT_EQ(qr.Q.rows, 3);
    EXPECT_EQ(qr.Q.cols, c.q_cols);
    EXPECT_FALSE(qr.P.allocated);
    EXPECT_EQ(qr.nb_permut, 0);
  }
}

TEST(HouseholderQr, WorkedCases) {
  {
    const t_qr qr = m_decompqr_householder(matrix_of(2, 1, {3, 4}));
    EXPECT_MATRIX_NEAR(qr.Q, matrix_of(2, 2, {0.6f, 0.8f, 0.8f, -0.6f}), 1e-6f);
    EXPECT_NEAR(element(qr.R, 1, 1), 5.0f, 1e-6f);
    // Below the diagonal R keeps the rounding residue of the products.
    EXPECT_LT(std::fabs(element(qr.R, 2, 1)), 1e-6f);
    EXPECT_NE(element(qr.R, 2, 1), 0.0f);
  }
  {
    // The diagonal of R keeps the sign x(1) had.
    const t_qr qr = m_decompqr_householder(matrix_of(2, 1, {-3, 4}));
    EXPECT_NEAR(element(qr.R, 1, 1), -5.0f, 1e-6f);
    EXPECT_MATRIX_NEAR(qr.Q, matrix_of(2, 2, {0.6f, -0.8f, -0.8f, -0.6f}), 1e-6f);
  }
  {
    // v vanishes, t = 0 becomes 1: H is exactly the identity.
    const t_matrix a = matrix_of(2, 2, {2, 1, 0, 3});
    const t_qr qr = m_decompqr_householder(a);
    EXPECT_EQ(qr.Q.elements, m_identity(2).elements);
    EXPECT_EQ(qr.R.elements, a.elements);
  }
  {
    // v^T v below eps: v is used unnormalised and the column stays unreduced.
    const t_qr qr = m_decompqr_householder(matrix_of(2, 1, {1e-5f, 1e-5f}));
    EXPECT_MATRIX_NEAR(qr.Q, m_identity(2), 1e-9f);
    EXPECT_NEAR(element(qr.R, 2, 1), 1e-5f, 1e-10f);
  }
  {
    // A single row takes no step.
    const t_matrix a = matrix_of(1, 3, {4, -5, 6});
    const t_qr qr = m_decompqr_householder(a);
    EXPECT_EQ(qr.Q.elements, std::vector<float>{1.0f});
    EXPECT_EQ(qr.R.elements, a.elements);
  }
}

TEST(GramSchmidtQr, WorkedCases) {
  for (const char* method : {"gs", "gsro"}) {
    SCOPED_TRACE(method);
    const t_qr qr = m_decompqr(matrix_of(2, 2, {3, 1, 4, 2}), method);
    EXPECT_MATRIX_NEAR(qr.Q, matrix_of(2, 2, {0.6f, -0.8f, 0.8f, 0.6f}), 1e-6f);
    EXPECT_MATRIX_NEAR(qr.R, matrix_of(2, 2, {5, 2.2f, 0, 0.4f}), 1e-6f);
    EXPECT_EQ(element(qr.R, 2, 1), 0.0f);
  }
  {
    // The second pass of column 2 finds a zero coefficient.
    const t_qr qr = m_decompqr_gramschimdt_reortho(matrix_of(2, 2, {1, 1, 0, 0.01f}));
    EXPECT_MATRIX_NEAR(qr.R, matrix_of(2, 2, {1, 1, 0, 0.01f}), 1e-7f);
    EXPECT_MATRIX_NEAR(qr.Q, m_identity(2), 1e-6f);
  }
  {
    // Rank 1: plain skips the column past the rank, reortho zeroes it.
    const t_matrix a = matrix_of(2, 2, {1, 2, 0, 0});
    for (const t_qr& qr : {m_decompqr_gramschimdt(a), m_decompqr_gramschimdt_reortho(a)}) {
      EXPECT_EQ(qr.R.elements, matrix_of(2, 2, {1, 2, 0, 0}).elements);
      EXPECT_EQ(qr.Q.elements, matrix_of(2, 2, {1, 0, 0, 0}).elements);
    }
  }
  {
    // A dependent column within the rank: reortho returns a zero column.
    const t_qr qr = m_decompqr_gramschimdt_reortho(matrix_of(3, 3, {1, 2, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(element(qr.R, 2, 2), 0.0f);
    EXPECT_EQ(m_getcol(qr.Q, 2), std::vector<float>(3, 0.0f));
    const t_qr zero_first = m_decompqr_gramschimdt_reortho(matrix_of(2, 2, {0, 1, 0, 2}));
    EXPECT_EQ(element(zero_first.R, 1, 1), 0.0f);
    EXPECT_EQ(m_getcol(zero_first.Q, 1), std::vector<float>(2, 0.0f));
  }
  {
    // Wide input: the third column is past the rank and stays zero.
    const t_qr qr = m_decompqr_gramschimdt(matrix_of(2, 3, {1, 0, 5, 0, 1, 7}));
    EXPECT_EQ(qr.Q.rows, 2);
    EXPECT_EQ(qr.Q.cols, 3);
    EXPECT_EQ(qr.R.rows, 3);
    EXPECT_EQ(m_getcol(qr.Q, 3), std::vector<float>(2, 0.0f));
    EXPECT_EQ(element(qr.R, 3, 3), 0.0f);
    EXPECT_NEAR(element(qr.R, 1, 3), 5.0f, 1e-6f);
    EXPECT_NEAR(element(qr.R, 2, 3), 7.0f, 1e-6f);
  }
}

TEST(GramSchmidtQr, ReorthoHonoursAGivenTolerance) {
  // Column 2 shrinks to 0.01 of its length 1.00005: below 10 * 0.01 * that,
  // so a tolerance of 0.01 turns it into a zero column; the default keeps it.
  const t_matrix a = matrix_of(2, 2, {1, 1, 0, 0.01f});
  const t_qr loose = m_decompqr(a, "gsro", 0.01f);
  EXPECT_EQ(element(loose.R, 2, 2), 0.0f);
  EXPECT_EQ(m_getcol(loose.Q, 2), std::vector<float>(2, 0.0f));
  const t_qr tight = m_decompqr(a, "gsro");
  EXPECT_NEAR(element(tight.R, 2, 2), 0.01f, 1e-7f);
  // A tolerance of 0 keeps every column that did not vanish.
  const t_qr zero_tol = m_decompqr_gramschimdt_reortho(a, 0.0f);
  EXPECT_MATRIX_NEAR(zero_tol.Q, m_identity(2), 1e-6f);
}

TEST(QrDecomposition, RememberedDefaultsLeftBehind) {
  {
    // Plain Gram-Schmidt leaves m_init at R's shape and v_init at m.
    const t_qr qr = m_decompqr_gramschimdt(test::random_matrix(5, 3, 3));
    t_matrix m;
    m_init(m);
    EXPECT_EQ(m.rows, 3);
    EXPECT_EQ(m.cols, 3);
    t_vector v;
    v_init(v);
    EXPECT_EQ(v.size, 5);
  }
  {
    // Householder on 4 x 3: the last step is k = 3, the block rows 3..4,
    // columns 3..3, and the last matrix made is H * R(3..4, 3..3).
    const t_matrix a = test::random_matrix(4, 3, 4);
    const t_qr qr = m_decompqr_householder(a);
    t_matrix m;
    m_init(m);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 1);
    const t_matrix block = m_extract(a);
    EXPECT_EQ(block.elements, m_extract(a, 3, 4, 3, 3).elements);
  }
  {
    // Re-orthogonalised Gram-Schmidt ends on the last column of Q, m x 1.
    const t_matrix a = test::random_matrix(4, 3, 5);
    const t_qr qr = m_decompqr_gramschimdt_reortho(a);
    EXPECT_EQ(m_extract(a).elements, m_extract(a, 1, 4, 3, 3).elements);
    t_matrix m;
    m_init(m);
    EXPECT_EQ(m.rows, 4);
    EXPECT_EQ(m.cols, 1);
  }
}

TEST(QrDecomposition, PivotingCarriesThePermutation) {
  const t_matrix a = matrix_of(3, 3, {1, 2, 3, 7, 1, 9, 4, 8, 2});
  const t_m_and_p mp = m_permut(a, true);
  for (const char* method : {"ho", "gs", "gsro"}) {
    SCOPED_TRACE(method);
    const t_qr qr = m_decompqr(a, method, std::nullopt, true);
    EXPECT_EQ(qr.P.elements, mp.P.elements);
    EXPECT_EQ(qr.nb_permut, mp.nb_permut);
    EXPECT_LE(test::qr_residual_ratio(a, qr), test::residual_threshold);
  }
}

TEST(QrDecomposition, FactorsReproduceRandomMatrices) {
  struct shape {
    std::int32_t rows, cols;
  };
  for (const shape s : {shape{4, 4}, shape{6, 3}, shape{3, 5}, shape{7, 7}}) {
    for (const char* method : {"ho", "gs", "gsro"}) {
      SCOPED_TRACE(std::string(method) + " " + std::to_string(s.rows) + "x" + std::to_string(s.cols));
      const t_matrix a = test::random_matrix(s.rows, s.cols, static_cast<unsigned>(s.rows * 31 + s.cols));
      const t_qr qr = m_decompqr(a, method);
      EXPECT_LE(test::qr_residual_ratio(a, qr), test::residual_threshold);
      const std::int32_t q_cols = std::string(method) == "ho" ? s.rows : s.cols;
      EXPECT_EQ(qr.Q.cols, q_cols);
      // A wide input has more columns than orthonormal directions.
      if (q_cols <= s.rows) {
        EXPECT_LE(test::orthogonality_ratio(qr.Q), test::orthogonality_threshold);
      }
      // Below the diagonal: exact zeros for Gram-Schmidt, for Householder a
      // residue of the size of the rounding, |r(i,j)| / (n ||A|| eps).
      const double scale = std::max(s.rows, s.cols) * test::norm_1(a) * test::eps;
      double residue = 0.0;
      for (std::int32_t j = 1; j <= qr.R.cols; ++j) {
        for (std::int32_t i = j + 1; i <= qr.R.rows; ++i) {
          if (std::string(method) == "ho") {
            residue = std::max(residue, std::fabs(element(qr.R, i, j)) / scale);
          } else {
            EXPECT_EQ(element(qr.R, i, j), 0.0f);
          }
        }
      }
      EXPECT_LE(residue, test::residual_threshold);
    }
  }
}

TEST(QrDecomposition, ReleaseSkipsWhatIsNotAllocated) {
  t_qr qr = m_decompqr_householder(matrix_of(2, 2, {1, 2, 3, 4}), true);
  qr.nb_permut = 5;
  m_destruct_qr(qr);
  EXPECT_FALSE(qr.Q.allocated);
  EXPECT_FALSE(qr.R.allocated);
  EXPECT_FALSE(qr.P.allocated);
  EXPECT_EQ(qr.nb_permut, 5);
  m_destruct_qr(qr);
}

TEST(QrDecomposition, Stops) {
  test::expect_stops({
      {"householder fresh", [] { m_decompqr_householder(fresh); }, 2001,
       "m_decompQR_HouseHolder::matrix not allocated"},
      {"dispatch ho fresh", [] { m_decompqr(fresh, "ho "); }, 2001, "m_decompQR_HouseHolder::matrix not allocated"},
      {"gram-schmidt fresh", [] { m_decompqr_gramschimdt(fresh); }, 2001,
       "m_decompQR_GramSchimdt::matrix not allocated"},
      {"reortho fresh", [] { m_decompqr(fresh, "gsro"); }, 2001, "m_decompQR_GramSchimdt::matrix not allocated"},
      {"dependent column within the rank", [] { m_decompqr(dependent); }, 305,
       "m_decompQR_GramSchimdt::QR decomposition not exist"},
      {"dependent column, gs named", [] { m_decompqr(dependent, "gs"); }, 305,
       "m_decompQR_GramSchimdt::QR decomposition not exist"},
      {"zero first column",
       [] {
         m_decompqr_gramschimdt(matrix_of(2, 2, {0, 1, 0, 2}));
       },
       305, "m_decompQR_GramSchimdt::QR decomposition not exist"},
  });
}

}  // namespace
}  // namespace orvik
