#include <gtest/gtest.h>
#include <orvik/orvik.hpp>
#include "support/child.hpp"
TEST(Smoke, Init) { orvik::t_matrix m; orvik::m_init(m, 3, 2); EXPECT_EQ(orvik::m_getsize(m), 6);
  EXPECT_STOPS_WITH(orvik::m_getsizerows(orvik::t_matrix{}), 2001, "m_getSizeRows::matrix not allocated"); }
