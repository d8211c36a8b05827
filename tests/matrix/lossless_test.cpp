// m_save_tofile and v_save_tofile: the layout they share with the print
// files, and a bit-for-bit round trip through the readers on random bit
// patterns, subnormals, signed zeros and non-finite values.

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include "support/child.hpp"
#include "support/records.hpp"
#include "support/temp_files.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace orvik {
namespace {

class Lossless : public ::testing::Test {
 protected:
  test::temp_dir dir;
  std::string file = dir.path("saved.txt");
};

// Every value that is not a NaN comes back with its bits; a NaN comes back
// as a NaN of the same sign.
void expect_same_floats(const std::vector<float>& got, const std::vector<float>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    if (std::isnan(want[k])) {
      EXPECT_TRUE(std::isnan(got[k])) << k;
      EXPECT_EQ(std::signbit(got[k]), std::signbit(want[k])) << k;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(got[k]), std::bit_cast<std::uint32_t>(want[k]))
          << k << ": " << want[k] << " read back as " << got[k];
    }
  }
}

std::vector<float> special_values() {
  const float inf = std::numeric_limits<float>::infinity();
  return {0.0f,
          -0.0f,
          1e-10f,
          1.2346e-5f,
          0.1f,
          1.0f / 3.0f,
          16777217.0f,
          std::numeric_limits<float>::max(),
          -std::numeric_limits<float>::max(),
          std::numeric_limits<float>::min(),
          std::numeric_limits<float>::denorm_min(),
          -std::numeric_limits<float>::denorm_min(),
          std::bit_cast<float>(0x007fffffu),  // largest subnormal
          std::bit_cast<float>(0x00400001u),
          inf,
          -inf,
          std::numeric_limits<float>::quiet_NaN(),
          -std::numeric_limits<float>::quiet_NaN(),
          std::bit_cast<float>(0x7f800001u)};  // a signalling NaN with a payload
}

TEST_F(Lossless, WritesTheShortestTextInThePrintLayout) {
  m_save_tofile(test::matrix_of(2, 3, {1.0f, 0.1f, -0.0f, 1e-10f, 1.2346e-5f, -2.5e30f}), file);
  EXPECT_EQ(test::read_file(file), "2 3\n1 0.1 -0\n1e-10 1.2346e-05 -2.5e+30\n");
  v_save_tofile(test::vector_of({std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::quiet_NaN(), 16777216.0f}),
                file);
  EXPECT_EQ(test::read_file(file), "4\nInfinity -Infinity -NaN 16777216\n");
  // The open settings are those of the print files.
  v_save_tofile(test::vector_of({2}), file, std::nullopt, std::nullopt, "append");
  EXPECT_EQ(test::read_file(file), "4\nInfinity -Infinity -NaN 16777216\n1\n2\n");
  m_save_tofile(m_zeros(2, 0), file);
  EXPECT_EQ(test::read_file(file), "2 0\n\n\n");
}

TEST_F(Lossless, RoundTripKeepsEveryBit) {
  std::mt19937 gen(2024);
  std::vector<float> values = special_values();
  for (int k = 0; k < 4000; ++k) values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(gen())));
  // Random subnormals too, which random bit patterns rarely give.
  for (int k = 0; k < 200; ++k) values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(gen()) & 0x807fffffu));

  t_vector v = v_zeros(static_cast<std::int32_t>(values.size()));
  v.elements = values;
  v_save_tofile(v, file);
  t_vector back;
  v_init_fromfile(back, file);
  expect_same_floats(back.elements, values);

  const std::int32_t cols = 7;
  const std::int32_t rows = static_cast<std::int32_t>(values.size()) / cols;
  t_matrix m = m_zeros(rows, cols);
  std::copy_n(values.begin(), m.elements.size(), m.elements.begin());
  m_save_tofile(m, file);
  t_matrix mback;
  m_init_fromfile(mback, file);
  EXPECT_EQ(mback.rows, rows);
  EXPECT_EQ(mback.cols, cols);
  expect_same_floats(mback.elements, m.elements);

  // The (f0.8) print of the same values is lossy, which is why saving exists.
  m_print_tofile(m, file);
  m_init_fromfile(mback, file);
  EXPECT_NE(test::bits_of(mback.elements), test::bits_of(m.elements));
}

TEST(LosslessStops, UnallocatedRecordsBeforeAnyFileIsOpened) {
  test::expect_stops({
      {"matrix", [] { m_save_tofile(t_matrix{}, "/nonexistent/dir/x.txt"); }, 2001,
       "m_save_tofile::matrix not allocated"},
      {"vector", [] { v_save_tofile(t_vector{}, "/nonexistent/dir/x.txt"); }, 2001,
       "v_save_tofile::vector not allocated"},
  });
}

}  // namespace
}  // namespace orvik
