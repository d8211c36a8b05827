// m_fromrows and v_fromvalues: the layout of the literal, the remembered
// sizes they leave, and the literals they refuse.

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include "support/child.hpp"

#include <vector>

namespace orvik {
namespace {

// The literals move the process-wide remembered sizes; other tests of this
// program expect them at their initial 2 x 2 and 2.
class Literals : public ::testing::Test {
 protected:
  void TearDown() override {
    t_matrix m;
    m_init(m, 2, 2);
    t_vector v;
    v_init(v, 2);
  }
};

TEST_F(Literals, RowsAreReadAsWrittenAndStoredByColumn) {
  const t_matrix m = m_fromrows({{1, 2, 3}, {4, 5.5f, -6}});
  EXPECT_TRUE(m.allocated);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 3);
  EXPECT_EQ(m.elements, (std::vector<float>{1, 4, 2, 5.5f, 3, -6}));
  EXPECT_EQ(m_get(m, 2, 3), -6.0f);
  EXPECT_EQ(m_fromrows({{7}}).elements, (std::vector<float>{7}));
  EXPECT_EQ(m_fromrows({{1}, {2}, {3}}).rows, 3);
  // One row is a 1 x n matrix, not a column.
  EXPECT_EQ(m_fromrows({{1, 2, 3}}).rows, 1);

  const t_vector v = v_fromvalues({1, 2.5f, -3, 0.1});
  EXPECT_TRUE(v.allocated);
  EXPECT_EQ(v.size, 4);
  EXPECT_EQ(v.elements, (std::vector<float>{1, 2.5f, -3, 0.1f}));
}

TEST_F(Literals, LeaveTheRememberedSizesOfTheirConstructors) {
  (void)m_fromrows({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
  (void)v_fromvalues({1, 2, 3, 4, 5});
  t_matrix m;
  m_init(m);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 4);
  t_vector v;
  v_init(v);
  EXPECT_EQ(v.size, 5);
  // Refused literals change nothing.
  {
    raising_scope guard;
    EXPECT_THROW((void)m_fromrows({{1, 2}, {3}}), error);
    EXPECT_THROW((void)m_fromrows({}), error);
    EXPECT_THROW((void)v_fromvalues({}), error);
  }
  m_init(m);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 4);
  v_init(v);
  EXPECT_EQ(v.size, 5);
}

TEST(LiteralStops, Stops) {
  test::expect_stops({
      {"no rows", [] { m_fromrows({}); }, 201, "m_fromrows::row is nil or negative"},
      {"empty row", [] { m_fromrows({{}}); }, 201, "m_fromrows::column is nil or negative"},
      {"empty first row before ragged",
       [] {
         m_fromrows({{}, {1}});
       },
       201, "m_fromrows::column is nil or negative"},
      {"short row",
       [] {
         m_fromrows({{1, 2}, {3}});
       },
       202, "m_fromrows::rows are not the same size"},
      {"long row",
       [] {
         m_fromrows({{1, 2}, {3, 4}, {5, 6, 7}});
       },
       202, "m_fromrows::rows are not the same size"},
      {"no values", [] { v_fromvalues({}); }, 201, "v_fromvalues::positive size expected"},
  });
}

}  // namespace
}  // namespace orvik
