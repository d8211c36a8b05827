// m_print on standard output and m_print_tofile's text file.

#include <gtest/gtest.h>
#include <orvik/matrix.hpp>

#include "support/child.hpp"
#include "support/records.hpp"
#include "support/temp_files.hpp"

#include <cmath>
#include <cstring>

namespace {

using orvik::t_matrix;

using orvik::test::matrix_of;

TEST(MatrixPrint, OneLinePerRowOfFixedWidthFields) {
  const t_matrix m = matrix_of(2, 2, {1.0f, -2.5f, 1.0e10f, 0.0f});
  const auto result = orvik::test::run_in_child([&] { orvik::m_print(m); });
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out,
            "   1.00000000      -2.50000000    \n"
            "   1.00000000E+10   0.00000000    \n");
}

TEST(MatrixPrint, EmptyAndUnallocatedMatrices) {
  const t_matrix no_rows = orvik::m_zeros(0, 3);
  const t_matrix no_cols = orvik::m_zeros(2, 0);
  EXPECT_EQ(orvik::test::run_in_child([&] { orvik::m_print(no_rows); }).out, "");
  EXPECT_EQ(orvik::test::run_in_child([&] { orvik::m_print(no_cols); }).out, " \n \n");
  EXPECT_STOPS_WITH(orvik::m_print(t_matrix{}), 2001, "matrix not allocated");
}

class MatrixPrintFile : public ::testing::Test {
 protected:
  orvik::test::temp_dir dir;
  std::string file = dir.path("out.txt");
};

TEST_F(MatrixPrintFile, WritesTheSizeLineThenRowsInFixed8) {
  orvik::m_print_tofile(matrix_of(2, 3, {1.0f, 2.5f, -3.0f, 4.0f, 5.0f, 6.0f}), file);
  EXPECT_EQ(orvik::test::read_file(file),
            "2 3\n"
            "1.00000000 2.50000000 -3.00000000\n"
            "4.00000000 5.00000000 6.00000000\n");
  orvik::m_print_tofile(matrix_of(1, 1, {-0.5f}), file);
  EXPECT_EQ(orvik::test::read_file(file), "1 1\n-0.50000000\n");
}

TEST_F(MatrixPrintFile, RewindReplacesAndAppendAdds) {
  const t_matrix a = matrix_of(1, 2, {1.0f, 2.0f});
  const t_matrix b = matrix_of(1, 1, {0.1f});
  orvik::m_print_tofile(a, file);
  orvik::m_print_tofile(b, file);
  EXPECT_EQ(orvik::test::read_file(file), "1 1\n0.10000000\n");
  orvik::m_print_tofile(a, file, 12, "unknown", "append   ");
  EXPECT_EQ(orvik::test::read_file(file), "1 1\n0.10000000\n1 2\n1.00000000 2.00000000\n");
  orvik::m_print_tofile(b, file, std::nullopt, "replace", "rewind");
  EXPECT_EQ(orvik::test::read_file(file), "1 1\n0.10000000\n");
}

TEST_F(MatrixPrintFile, EmptyShapesWriteTheirSizeLine) {
  orvik::m_print_tofile(orvik::m_zeros(0, 4), file);
  EXPECT_EQ(orvik::test::read_file(file), "0 4\n");
  orvik::m_print_tofile(orvik::m_zeros(2, 0), file);
  EXPECT_EQ(orvik::test::read_file(file), "2 0\n\n\n");
}

TEST_F(MatrixPrintFile, RoundTripsThroughTheReaderIncludingNonFiniteValues) {
  const t_matrix a = matrix_of(2, 3, {1.0f / 3.0f, -0.0f, INFINITY, -INFINITY, NAN, 12345.678f});
  orvik::m_print_tofile(a, file);
  t_matrix back;
  orvik::m_init_fromfile(back, file);
  ASSERT_EQ(back.rows, 2);
  ASSERT_EQ(back.cols, 3);
  EXPECT_EQ(back.elements[0], 0.33333334f);
  EXPECT_TRUE(std::signbit(back.elements[2]));
  EXPECT_EQ(back.elements[4], INFINITY);
  EXPECT_EQ(back.elements[1], -INFINITY);
  EXPECT_TRUE(std::isnan(back.elements[3]));
  EXPECT_EQ(back.elements[5], 12345.678f);
}

TEST_F(MatrixPrintFile, RefusalsComeBeforeAnythingIsWritten) {
  EXPECT_STOPS_WITH(orvik::m_print_tofile(t_matrix{}, file), 2001, "m_print_tofile::matrix not allocated");
  EXPECT_FALSE(std::filesystem::exists(file));
  const t_matrix a = orvik::m_zeros(1, 1);
  EXPECT_FILE_FAILURE(orvik::m_print_tofile(a, dir.path("no/such/dir/f.txt")), "cannot be opened for writing");
  orvik::m_print_tofile(a, file);
  EXPECT_FILE_FAILURE(orvik::m_print_tofile(a, file, std::nullopt, "new"), "already exists");
  EXPECT_FILE_FAILURE(orvik::m_print_tofile(a, dir.path("x.txt"), std::nullopt, "old"), "does not exist");
  EXPECT_FILE_FAILURE(orvik::m_print_tofile(a, file, std::nullopt, "sideways"), "open status \"sideways\"");
  EXPECT_FILE_FAILURE(orvik::m_print_tofile(a, file, std::nullopt, std::nullopt, "middle"), "open position");
  EXPECT_EQ(orvik::test::read_file(file), "1 1\n0.00000000\n");
}

}  // namespace
