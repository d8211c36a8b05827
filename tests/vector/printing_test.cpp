// Vector printing: standard output lines, the two file layouts, open
// settings, empty vectors and round trips through v_init_fromfile.

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/vector.hpp>

#include "support/child.hpp"
#include "support/records.hpp"
#include "support/temp_files.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using orvik::t_vector;
using orvik::test::read_file;
using orvik::test::run_in_child;

using orvik::test::vector_of;

TEST(VectorPrinting, FailureTable) {
  orvik::test::temp_dir dir;
  const std::string file = dir.path("never");
  const t_vector none;
  EXPECT_STOPS_WITH(orvik::v_print_c_tofile(none, file), 2001, "v_print_c_tofile::vector not allocated");
  EXPECT_STOPS_WITH(orvik::v_print_c(none), 2001, "v_print_c::vector not allocated");
  EXPECT_STOPS_WITH(orvik::v_print_tofile(none, file), 2001, "v_print_tofile::vector not allocated");
  EXPECT_STOPS_WITH(orvik::v_print(none), 2001, "v_print::vector not allocated");
  // The check comes before the open: no file was made.
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(VectorPrinting, StandardOutput) {
  const t_vector v = vector_of({1, 2.5f, -3});
  EXPECT_EQ(run_in_child([&] { orvik::v_print(v); }).out, "   1.00000000       2.50000000      -3.00000000    \n");
  EXPECT_EQ(run_in_child([&] { orvik::v_print_c(v); }).out,
            "   1.00000000    \n   2.50000000    \n  -3.00000000    \n");
  const t_vector empty = orvik::v_zeros(0);
  EXPECT_EQ(run_in_child([&] { orvik::v_print(empty); }).out, " \n");
  EXPECT_EQ(run_in_child([&] { orvik::v_print_c(empty); }).out, "");
  // Printed lines come before a later error line, in order.
  const auto later_stop = run_in_child([&] {
    orvik::v_print(vector_of({0.5f}));
    orvik::v_print(t_vector{});
  });
  EXPECT_EQ(later_stop.exit_code, 1);
  EXPECT_EQ(later_stop.out, "  0.500000000    \n" + orvik::test::error_line(2001, "v_print::vector not allocated"));
}

TEST(VectorPrinting, FileLayouts) {
  orvik::raising_scope guard;
  orvik::test::temp_dir dir;
  const std::string row = dir.path("row");
  const std::string col = dir.path("col");
  orvik::v_print_tofile(vector_of({1, 2.5f, -3}), row);
  EXPECT_EQ(read_file(row), "3\n1.00000000 2.50000000 -3.00000000\n");
  orvik::v_print_c_tofile(vector_of({1, 2.5f, -3}), col);
  EXPECT_EQ(read_file(col), "3\n1.00000000\n2.50000000\n-3.00000000\n");
  orvik::v_print_tofile(vector_of({-0.5f}), row, 12);
  EXPECT_EQ(read_file(row), "1\n-0.50000000\n");
  orvik::v_print_tofile(vector_of({0.1f, -0.0f, 1.0f / 3.0f, INFINITY, -INFINITY, NAN}), row);
  EXPECT_EQ(read_file(row), "6\n0.10000000 -0.00000000 0.33333334 Infinity -Infinity NaN\n");
  orvik::v_print_tofile(orvik::v_zeros(0), row);
  EXPECT_EQ(read_file(row), "0\n\n");
  orvik::v_print_c_tofile(orvik::v_zeros(0), col);
  EXPECT_EQ(read_file(col), "0\n");
}

TEST(VectorPrinting, RewindAndAppend) {
  orvik::raising_scope guard;
  orvik::test::temp_dir dir;
  const std::string file = dir.path("f");
  orvik::v_print_tofile(vector_of({1}), file);
  orvik::v_print_tofile(vector_of({2, 3}), file);
  EXPECT_EQ(read_file(file), "2\n2.00000000 3.00000000\n");
  orvik::v_print_c_tofile(vector_of({4}), file, std::nullopt, "unknown", "append");
  orvik::v_print_tofile(vector_of({5}), file, std::nullopt, std::nullopt, "append    ignored");
  EXPECT_EQ(read_file(file), "2\n2.00000000 3.00000000\n1\n4.00000000\n1\n5.00000000\n");
  orvik::v_print_c_tofile(vector_of({6}), file, std::nullopt, "unknown", "rewind");
  EXPECT_EQ(read_file(file), "1\n6.00000000\n");
}

TEST(VectorPrinting, OpenFailuresEndWithStatusTwo) {
  orvik::test::temp_dir dir;
  const std::string existing = dir.write("old", "x\n");
  const std::string unreachable = dir.path("no/such/dir/file");
  EXPECT_FILE_FAILURE(orvik::v_print_tofile(vector_of({1}), unreachable), unreachable);
  EXPECT_FILE_FAILURE(orvik::v_print_c_tofile(vector_of({1}), existing, std::nullopt, "new"), existing);
  EXPECT_EQ(read_file(existing), "x\n");
}

TEST(VectorPrinting, RoundTrips) {
  orvik::raising_scope guard;
  orvik::test::temp_dir dir;
  const std::string row = dir.path("row");
  const std::string col = dir.path("col");
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
  std::vector<float> values(25);
  for (float& x : values) x = dist(gen);
  values[3] = INFINITY;
  values[4] = -INFINITY;
  values[5] = NAN;
  const t_vector v = vector_of(values);
  orvik::v_print_tofile(v, row);
  orvik::v_print_c_tofile(v, col);
  for (const std::string& file : {row, col}) {
    SCOPED_TRACE(file);
    t_vector back;
    orvik::v_init_fromfile(back, file);
    ASSERT_EQ(back.size, v.size);
    for (std::size_t i = 0; i < values.size(); ++i) {
      char text[64];
      std::snprintf(text, sizeof text, "%.8f", static_cast<double>(values[i]));
      const float rounded = std::strtof(text, nullptr);
      if (std::isnan(values[i])) {
        EXPECT_TRUE(std::isnan(back.elements[i]));
      } else {
        EXPECT_EQ(back.elements[i], rounded) << i;
      }
    }
  }
}

}  // namespace
