// Element, row, column and block access, and the remembered bounds of
// m_extract.

#include "support/child.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::matrix_of;

// rows 11..14, 21..24, 31..34, 41..44: element (i, j) is 10 i + j.
t_matrix numbered(std::int32_t rows, std::int32_t cols) {
  t_matrix m = m_zeros(rows, cols);
  for (std::int32_t i = 1; i <= rows; ++i) {
    for (std::int32_t j = 1; j <= cols; ++j) m_set(m, i, j, static_cast<float>(10 * i + j));
  }
  return m;
}

// The shape and the elements row by row, as text.
std::string describe(const t_matrix& m) {
  std::string out = std::to_string(m.rows) + "x" + std::to_string(m.cols) + ":";
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    for (std::int32_t j = 1; j <= m.cols; ++j) out += " " + std::to_string(static_cast<int>(m_get(m, i, j)));
  }
  return out;
}

TEST(MatrixAccess, ElementsRowsColumnsAndCopies) {
  const t_matrix m = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(m_get(m, 2, 3), 6.0f);
  EXPECT_EQ(m_getrow(m, 2), (std::vector<float>{4, 5, 6}));
  EXPECT_EQ(m_getcol(m, 3), (std::vector<float>{3, 6}));
  EXPECT_EQ(m_get_m(m), (std::vector<float>{1, 4, 2, 5, 3, 6}));
  t_matrix w = m;
  m_set(w, 1, 2, -7.5f);
  EXPECT_EQ(m_get(w, 1, 2), -7.5f);
  EXPECT_EQ(m_get(m, 1, 2), 2.0f);
}

TEST(MatrixAccess, MatrixToVectorIsRowMajor) {
  EXPECT_EQ(m_matrixtovector(matrix_of(3, 2, {1, 4, 2, 5, 3, 6})).elements, (std::vector<float>{1, 4, 2, 5, 3, 6}));
  EXPECT_EQ(m_matrixtovector(matrix_of(2, 3, {1, 2, 3, 4, 5, 6})).elements, (std::vector<float>{1, 2, 3, 4, 5, 6}));
  const t_vector one = m_matrixtovector(matrix_of(1, 1, {9}));
  EXPECT_EQ(one.size, 1);
  // The vector came from v_init, whose remembered size is now 6.
  m_matrixtovector(matrix_of(2, 3, {1, 2, 3, 4, 5, 6}));
  t_vector v;
  v_init(v);
  EXPECT_EQ(v.size, 6);
}

TEST(MatrixAccess, ExtractRemembersItsBoundsFromAFreshStart) {
  const test::child_result r = test::run_in_child([] {
    const t_matrix m = numbered(4, 4);
    std::printf("%s\n", describe(m_extract(m)).c_str());
    std::printf("%s\n", describe(m_extract(m, 2, 3, 1, 4)).c_str());
    std::printf("%s\n", describe(m_extract(m, 1)).c_str());
    // The result was made by m_init: its remembered sizes follow.
    t_matrix z;
    m_init(z);
    std::printf("%dx%d\n", z.rows, z.cols);
    // Another matrix, the same remembered bounds.
    std::printf("%s\n", describe(m_extract(numbered(3, 5))).c_str());
  });
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "1x1: 11\n"
            "2x4: 21 22 23 24 31 32 33 34\n"
            "3x4: 11 12 13 14 21 22 23 24 31 32 33 34\n"
            "3x4\n"
            "3x4: 11 12 13 14 21 22 23 24 31 32 33 34\n");
}

TEST(MatrixAccess, ExtractKeepsARefusedBound) {
  const test::child_result r = test::run_in_child([] {
    const raising_scope guard;
    const t_matrix m = numbered(3, 3);
    for (int pass = 0; pass < 2; ++pass) {
      try {
        // First with a bad bound, then with none: the bad one was kept.
        pass == 0 ? m_extract(m, 0, 2, 1, 2) : m_extract(m);
        std::printf("no error\n");
      } catch (const error& e) {
        std::printf("%d\n", e.exception().number);
      }
    }
    // An unallocated matrix still has its bounds remembered first.
    try {
      m_extract(t_matrix{}, 2, 3, 2, 3);
    } catch (const error&) {
    }
    std::printf("%s\n", describe(m_extract(m)).c_str());
  });
  EXPECT_EQ(r.out, "2001\n2001\n2x2: 22 23 32 33\n");
}

TEST(MatrixAccess, SetsubOverwritesExactlyTheBlock) {
  t_matrix m = numbered(4, 4);
  m_setsub(m, 2, 3, 2, 3, matrix_of(2, 2, {-1, -2, -3, -4}));
  EXPECT_EQ(describe(m), "4x4: 11 12 13 14 21 -1 -2 24 31 -3 -4 34 41 42 43 44");
  // Omitted bounds cover the whole of m, whatever m_extract remembers.
  m_extract(m, 2, 2, 2, 2);
  m_setsub(m, numbered(4, 4));
  EXPECT_EQ(describe(m), describe(numbered(4, 4)));
  // Mixed: given last row, the rest defaults.
  t_matrix w = numbered(3, 2);
  m_setsub(w, std::nullopt, 1, std::nullopt, std::nullopt, matrix_of(1, 2, {0, 0}));
  EXPECT_EQ(describe(w), "3x2: 0 0 21 22 31 32");
  // m as its own block.
  m_setsub(w, w);
  EXPECT_EQ(describe(w), "3x2: 0 0 21 22 31 32");
}

}  // namespace
}  // namespace orvik
