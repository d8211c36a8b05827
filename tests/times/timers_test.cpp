// Named timers and their summary line.

#include <gtest/gtest.h>
#include <orvik/times.hpp>

#include "support/child.hpp"

#include <bit>
#include <string>

namespace {

using orvik::t_time;

std::string printed(const t_time& t, std::optional<std::int32_t> rank = std::nullopt) {
  return orvik::test::run_in_child([&] { orvik::ft_print(t, rank); }).out;
}

TEST(Timers, CreationSetsTheFieldsAndPrintsNothingYet) {
  t_time t;
  orvik::ft_create_time(t, "solve", 0, 0);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(t.scale), 0x3a83126fu);
  EXPECT_EQ(std::string(t.name.data(), 30), "solve" + std::string(25, ' '));
  EXPECT_EQ(std::string(t.time_unit.data(), 2), "ms");
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(printed(t), "");
  t_time u;
  orvik::ft_create_time_init(u);
  EXPECT_EQ(u.scale, 0.0f);
  EXPECT_EQ(std::string(u.name.data(), 30), std::string(30, ' '));
}

TEST(Timers, SummaryLineHasItsExactLayout) {
  t_time t;
  orvik::ft_create_time(t, "solve", 0, 0);
  t.total = 1234.0f;
  t.count = 10;
  EXPECT_EQ(printed(t, 0),
            "name:solve, tot (ms):                 1234.000, avg:      123.400, COUNT=        10, myrank=  0\n");
  EXPECT_EQ(printed(t).substr(printed(t).size() - 13), ", myrank=  0\n");
  const std::string wide = printed(t, 1000);
  EXPECT_EQ(wide.substr(wide.size() - 13), ", myrank=***\n");
}

TEST(Timers, LongNamesAreCutAt30Characters) {
  t_time t;
  orvik::ft_create_time(t, std::string(40, 'n'), 0, 0);
  t.count = 1;
  EXPECT_EQ(printed(t).substr(0, 36), "name:" + std::string(30, 'n') + ",");
}

TEST(Timers, SkippedWarmUpPairsAreNotMeasured) {
  t_time t;
  orvik::ft_create_time(t, "warm", 0, 2);
  t.clock_begin.ticks = -1000000;  // would show up in the total if used
  for (int n = 0; n < 2; ++n) {
    orvik::ft_begin(t);
    orvik::ft_end(t);
  }
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(t.total, 0.0f);
  orvik::ft_begin(t);
  orvik::ft_end(t);
  EXPECT_EQ(t.count, 3);
  EXPECT_GE(t.total, 0.0f);
  EXPECT_LT(t.total, 1000.0f);
}

TEST(Timers, ReachingTheResetCountStartsAgain) {
  t_time t;
  orvik::ft_create_time(t, "r", 3, 0);
  for (int n = 0; n < 3; ++n) {
    orvik::ft_begin(t);
    orvik::ft_end(t);
  }
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(t.total, 0.0f);
  EXPECT_EQ(printed(t), "");
}

TEST(Timers, CopyTakesTheStateAndResetsTheSource) {
  t_time t;
  t_time copy;
  orvik::ft_create_time(t, "c", 0, 0);
  orvik::ft_begin(t);
  orvik::ft_end(t);
  t.total = 5.0f;
  copy.clock_begin.ticks = 77;
  orvik::ft_create_time_copy(t, copy);
  EXPECT_EQ(copy.total, 5.0f);
  EXPECT_EQ(copy.count, 1);
  EXPECT_EQ(copy.name, t.name);
  EXPECT_EQ(copy.clock_begin.ticks, 77);
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(t.total, 0.0f);
}

TEST(Timers, ClockReadingDerivesItsDividedFields) {
  orvik::t_clock_reading r;
  orvik::ft_gettimeofday(r);
  EXPECT_GE(r.ticks, 0);
  EXPECT_EQ(r.ticks_div_1000, r.ticks / 1000);
  EXPECT_EQ(r.ticks_div_1000_b, r.ticks / 1000);
  EXPECT_EQ(r.ticks_div_1000000, r.ticks / 1000000);
}

}  // namespace
