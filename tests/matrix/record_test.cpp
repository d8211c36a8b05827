// The matrix record: storage, remembered sizes, filling, shape queries and
// the text file reader.

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>

#include "maths/random_source.hpp"
#include "support/child.hpp"
#include "support/temp_files.hpp"

#include <cmath>
#include <vector>

namespace {

using orvik::t_matrix;

std::vector<float> row_of(const t_matrix& m, int i) {
  std::vector<float> row;
  for (int j = 1; j <= m.cols; ++j) row.push_back(m.elements[(j - 1) * m.rows + (i - 1)]);
  return row;
}

TEST(MatrixRecord, FreshRecordIsTwoByTwoWithoutStorage) {
  const t_matrix m;
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 2);
  EXPECT_FALSE(m.allocated);
  EXPECT_TRUE(m.elements.empty());
}

TEST(MatrixRecord, RememberedSizesFollowEveryGivenValue) {
  // Runs in a child: the remembered sizes are process-wide.
  const auto result = orvik::test::run_in_child([] {
    t_matrix m;
    orvik::m_init(m);
    if (m.rows != 2 || m.cols != 2) std::_Exit(10);
    orvik::m_init(m, 3, 5);
    orvik::m_init(m, 4);
    if (m.rows != 4 || m.cols != 5) std::_Exit(11);
    orvik::m_init(m);
    if (m.rows != 4 || m.cols != 5 || m.elements.size() != 20) std::_Exit(12);
    // m_resize and m_zeros leave the remembered sizes alone.
    orvik::m_resize(m, 7, 7);
    t_matrix z = orvik::m_zeros(6, 6);
    orvik::m_init(m);
    if (m.rows != 4 || m.cols != 5) std::_Exit(13);
    // A bad size replaces the remembered one before the check, so it sticks.
    {
      orvik::raising_scope guard;
      try {
        orvik::m_init(m, 0, 3);
      } catch (const orvik::error&) {
      }
    }
    orvik::m_init(m, std::nullopt, 3);
  });
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, orvik::test::error_line(201, "m_init::row is nil or negative"));
}

TEST(MatrixRecord, InitReplacesStorageWithZerosOfTheNewShape) {
  t_matrix m;
  orvik::m_init(m, 2, 2);
  orvik::m_minit_value(m, 5.0f);
  orvik::m_init(m, 3, 1);
  EXPECT_EQ(m.elements, std::vector<float>(3, 0.0f));
  orvik::m_affect(m, -1.0f);
  orvik::m_resize(m, 1, 2);
  EXPECT_EQ(m.elements, std::vector<float>(2, 0.0f));
  EXPECT_TRUE(m.allocated);
}

TEST(MatrixRecord, ZerosAllowsEmptyShapesAndRefusesNegativeOnes) {
  const t_matrix z = orvik::m_zeros(0, 3);
  EXPECT_TRUE(z.allocated);
  EXPECT_EQ(z.rows, 0);
  EXPECT_EQ(z.cols, 3);
  EXPECT_EQ(orvik::m_getsize(z), 0);
  EXPECT_STOPS_WITH(orvik::m_zeros(-1, -1), 201, "m_zeros::row is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_zeros(2, -1), 201, "m_zeros::column is nil or negative");
}

TEST(MatrixRecord, DestructKeepsTheShapeAndIsHarmlessTwice) {
  t_matrix m;
  orvik::m_destruct(m);
  orvik::m_init(m, 3, 4);
  EXPECT_EQ(orvik::m_getsize(m), 12);
  orvik::m_destruct(m);
  orvik::m_destruct(m);
  EXPECT_FALSE(m.allocated);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 4);
  EXPECT_STOPS_WITH(orvik::m_getsizerows(m), 2001, "m_getSizeRows::matrix not allocated");
}

TEST(MatrixRecord, CopiesOwnTheirElements) {
  t_matrix a;
  orvik::m_init(a, 2, 2);
  t_matrix b = a;
  orvik::m_minit_value(b, 3.0f);
  EXPECT_EQ(a.elements, std::vector<float>(4, 0.0f));
}

TEST(MatrixRecord, EveryCheckStopsWithItsOwnLine) {
  t_matrix fresh;
  t_matrix m;
  EXPECT_STOPS_WITH(orvik::m_init(m, 0, 0), 201, "m_init::row is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_init(m, 2, -3), 201, "m_init::column is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_init(m, 100000, 100000), 2001, "m_init::allocate error");
  EXPECT_STOPS_WITH(orvik::m_resize(m, 0, 1), 201, "m_resize::row is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_resize(m, 1, 0), 201, "m_resize::column is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_resize(m, 536870912, 1), 2001, "m_resize::allocate error");
  EXPECT_STOPS_WITH(orvik::m_zeros(65536, 65536), 2001, "m_zeros::allocate error");
  EXPECT_STOPS_WITH(orvik::m_minit_value(fresh, 1.0f), 2001, "m_minit_value::matrix not allocate yet");
  EXPECT_STOPS_WITH(orvik::m_affect(fresh, 1.0f), 2001, "m_affect::matrix not allocated");
  EXPECT_STOPS_WITH(orvik::mc_random(fresh), 2001, "mc_random::matrix not allocate yet");
  EXPECT_STOPS_WITH(orvik::m_getsizerows(fresh), 2001, "m_getSizeRows::matrix not allocated");
  EXPECT_STOPS_WITH(orvik::m_getsizecols(fresh), 2001, "m_getSizeCols::matrix not allocated");
  EXPECT_STOPS_WITH(orvik::m_getsize(fresh), 2001, "m_getSize::matrix not allocated");
  t_matrix broken;
  broken.allocated = true;  // claims storage it does not hold
  EXPECT_STOPS_WITH(orvik::m_destruct(broken), 2002, "m_destruct::matrix deallocate error");
}

TEST(MatrixRecord, RaisingModeLeavesTheRecordUsable) {
  orvik::raising_scope guard;
  t_matrix m;
  orvik::m_init(m, 2, 3);
  EXPECT_THROW(orvik::m_resize(m, -1, 1), orvik::error);
  EXPECT_EQ(orvik::m_getsize(m), 6);
}

TEST(RandomFill, ValuesLieBetweenTheBoundsWithTheDefaultsOfTheShape) {
  t_matrix m;
  orvik::m_init(m, 4, 2);
  orvik::mc_random(m);
  for (float x : m.elements) {
    EXPECT_GE(x, 1.0f);
    EXPECT_LT(x, 4.0f);
  }
  orvik::mc_random(m, 1.0f, 10.0f);
  for (float x : m.elements) {
    EXPECT_GE(x, 1.0f);
    EXPECT_LT(x, 10.0f);
  }
  orvik::mc_random(m, 2.0f, 2.0f);
  EXPECT_EQ(m.elements, std::vector<float>(8, 2.0f));
}

TEST(RandomSource, FlagsRestartReseedOrContinueTheOneSequence) {
  using orvik::detail::random_uniform;
  const float a1 = random_uniform(1);
  const float a2 = random_uniform(0);
  const float b1 = random_uniform(12345);
  const float b2 = random_uniform(0);
  EXPECT_EQ(random_uniform(1), a1);
  EXPECT_EQ(random_uniform(0), a2);
  EXPECT_EQ(random_uniform(12345), b1);
  EXPECT_EQ(random_uniform(0), b2);
  EXPECT_NE(a1, b1);
  for (int n = 0; n < 1000; ++n) {
    const float r = random_uniform(0);
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
  }
  // The generator is fully specified: its draws are the same on every
  // platform and compiler, so stored results stay reproducible.
  EXPECT_EQ(random_uniform(1), 0x1.783c38p-2f);
  EXPECT_EQ(random_uniform(0), 0x1.0f0374p-2f);
  EXPECT_EQ(random_uniform(7), 0x1.8f2f84p-2f);
}

TEST(RandomSource, PowerHundredWrapsAndVanishesForEvenBases) {
  using orvik::detail::wrapping_pow100;
  EXPECT_EQ(wrapping_pow100(1), 1);
  EXPECT_EQ(wrapping_pow100(2), 0);
  EXPECT_EQ(wrapping_pow100(6), 0);
  EXPECT_EQ(wrapping_pow100(3) & 1, 1);
  EXPECT_EQ(wrapping_pow100(-1), 1);
}

class MatrixFile : public ::testing::Test {
 protected:
  orvik::test::temp_dir dir;
  t_matrix m;

  void read(std::string_view text) { orvik::m_init_fromfile(m, dir.write("m.txt", text)); }
};

TEST_F(MatrixFile, ReadsRowsOfTheRowMajorLayout) {
  read("2 3\n1 2 3\n4 5 6\n");
  ASSERT_TRUE(m.allocated);
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.cols, 3);
  EXPECT_EQ(m.elements, (std::vector<float>{1, 4, 2, 5, 3, 6}));
}

TEST_F(MatrixFile, HeaderMayBeSplitAndUseCommas) {
  read("2\n2\n1,2\n3,4\n");
  EXPECT_EQ(m.elements, (std::vector<float>{1, 3, 2, 4}));
  read("2,2 trailing words\n1.5D0 -2e1\n+3 .25\n");
  EXPECT_EQ(m.elements, (std::vector<float>{1.5f, 3.0f, -20.0f, 0.25f}));
}

TEST_F(MatrixFile, RowsRunOnAcrossLinesAndIgnoreExtraValues) {
  read("2 3\n1\n2 3 99 99\n4 5 6 77\n88\n");
  EXPECT_EQ(row_of(m, 1), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(row_of(m, 2), (std::vector<float>{4, 5, 6}));
}

TEST_F(MatrixFile, ShortFileKeepsWhatWasReadAndZerosTheRest) {
  read("3 2\n1 2\n3 4\n");
  EXPECT_EQ(row_of(m, 1), (std::vector<float>{1, 2}));
  EXPECT_EQ(row_of(m, 2), (std::vector<float>{3, 4}));
  EXPECT_EQ(row_of(m, 3), (std::vector<float>{0, 0}));
  read("2 2\n1 2\n3\n");
  EXPECT_EQ(row_of(m, 2), (std::vector<float>{3, 0}));
}

TEST_F(MatrixFile, FileEndingInTheHeaderLeavesTheRecordUnallocated) {
  orvik::m_init(m, 3, 4);
  read("");
  EXPECT_FALSE(m.allocated);
  EXPECT_EQ(m.rows, 3);
  EXPECT_EQ(m.cols, 4);
  read("5\n");
  EXPECT_FALSE(m.allocated);
  EXPECT_EQ(m.rows, 3);
}

TEST_F(MatrixFile, NonFiniteValuesReadBack) {
  read("1 3\nInfinity -Infinity NaN\n");
  EXPECT_EQ(m.elements[0], INFINITY);
  EXPECT_EQ(m.elements[1], -INFINITY);
  EXPECT_TRUE(std::isnan(m.elements[2]));
}

TEST_F(MatrixFile, BadHeadersAndMissingFilesStop) {
  const std::string zero_rows = dir.write("a.txt", "0 4\n");
  const std::string zero_cols = dir.write("b.txt", "4 0\n");
  const std::string zero_both = dir.write("c.txt", "0 0\n");
  const std::string missing = dir.path("missing.txt");
  EXPECT_STOPS_WITH(orvik::m_init_fromfile(m, zero_rows), 201, "m_init_fromfile::row is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_init_fromfile(m, zero_cols), 201, "m_init_fromfile::column is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_init_fromfile(m, zero_both), 201, "m_init_fromfile::row is nil or negative");
  EXPECT_STOPS_WITH(orvik::m_init_fromfile(m, missing), 3001, "u_is_exist_file::" + missing + " not exist");
  const std::string huge = dir.write("d.txt", "100000 100000\n");
  EXPECT_STOPS_WITH(orvik::m_init_fromfile(m, huge), 2001, "m_init_fromfile::matrix allocate error");
}

TEST_F(MatrixFile, MissingFileLeavesTheRecordUntouched) {
  orvik::raising_scope guard;
  orvik::m_init(m, 2, 2);
  EXPECT_THROW(orvik::m_init_fromfile(m, dir.path("missing.txt")), orvik::error);
  EXPECT_TRUE(m.allocated);
}

TEST_F(MatrixFile, UnreadableNumbersAreReportedWithStatus2) {
  const std::string bad_value = dir.write("v.txt", "1 2\n1.0 x2\n");
  const std::string bad_header = dir.write("h.txt", "2.5 2\n");
  EXPECT_FILE_FAILURE(orvik::m_init_fromfile(m, bad_value), "line 2: \"x2\" is not a number");
  EXPECT_FILE_FAILURE(orvik::m_init_fromfile(m, bad_header), "line 1: \"2.5\" is not an integer");
}

}  // namespace
