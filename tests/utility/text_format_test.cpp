// The number texts the library writes and the number notations its reader
// takes back.

#include <gtest/gtest.h>

#include "common/number_format.hpp"
#include "support/child.hpp"
#include "support/temp_files.hpp"
#include "utility/text_reader.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace {

using orvik::detail::format_fixed8;
using orvik::detail::format_free_real;
using orvik::detail::parse_int;
using orvik::detail::parse_real;

TEST(Fixed8, EightDecimalsMinimalWidthLeadingZeroAndSign) {
  EXPECT_EQ(format_fixed8(1.0f), "1.00000000");
  EXPECT_EQ(format_fixed8(2.5f), "2.50000000");
  EXPECT_EQ(format_fixed8(-3.0f), "-3.00000000");
  EXPECT_EQ(format_fixed8(0.5f), "0.50000000");
  EXPECT_EQ(format_fixed8(-0.5f), "-0.50000000");
  EXPECT_EQ(format_fixed8(-0.0f), "-0.00000000");
  EXPECT_EQ(format_fixed8(0.1f), "0.10000000");
  EXPECT_EQ(format_fixed8(1.0f / 3.0f), "0.33333334");
  EXPECT_EQ(format_fixed8(1.0e-9f), "0.00000000");
  EXPECT_EQ(format_fixed8(16777216.0f), "16777216.00000000");
  EXPECT_EQ(format_fixed8(std::numeric_limits<float>::infinity()), "Infinity");
  EXPECT_EQ(format_fixed8(-std::numeric_limits<float>::infinity()), "-Infinity");
  EXPECT_EQ(format_fixed8(std::numeric_limits<float>::quiet_NaN()), "NaN");
}

TEST(FreeReal, OneFieldOf16CharactersFixedOrExponentForm) {
  EXPECT_EQ(format_free_real(1.0f), "  1.00000000    ");
  EXPECT_EQ(format_free_real(-2.5f), " -2.50000000    ");
  EXPECT_EQ(format_free_real(0.0f), "  0.00000000    ");
  EXPECT_EQ(format_free_real(0.1f), " 0.100000001    ");
  EXPECT_EQ(format_free_real(123456789.0f), "  123456792.    ");
  EXPECT_EQ(format_free_real(1.0e9f), "  1.00000000E+09");
  EXPECT_EQ(format_free_real(-1.0e-5f), " -9.99999975E-06");
  EXPECT_EQ(format_free_real(std::numeric_limits<float>::max()), "  3.40282347E+38");
  EXPECT_EQ(format_free_real(std::numeric_limits<float>::denorm_min()), "  1.40129846E-45");
  EXPECT_EQ(format_free_real(std::numeric_limits<float>::infinity()), "    Infinity    ");
  EXPECT_EQ(format_free_real(std::numeric_limits<float>::quiet_NaN()), "         NaN    ");
}

TEST(FreeReal, EveryFloatReadsBackAsItself) {
  std::mt19937 gen(12345);
  for (int n = 0; n < 20000; ++n) {
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(gen()));
    const std::string text = format_free_real(x);
    ASSERT_EQ(text.size(), 16u) << text;
    float back = 0.0f;
    std::string token = text;
    token.erase(0, token.find_first_not_of(' '));
    token.erase(token.find_last_not_of(' ') + 1);
    ASSERT_TRUE(parse_real(token, back)) << text;
    if (std::isnan(x)) {
      EXPECT_TRUE(std::isnan(back));
    } else {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(x)) << text;
    }
  }
}

TEST(Reader, AcceptsEveryNotationTheWritersUseAndMore) {
  struct Case {
    const char* token;
    float value;
  } cases[] = {{"4", 4.0f},         {"-2.5", -2.5f},        {"+1.0E-3", 1.0e-3f},
               {"1.0e-3", 1.0e-3f}, {"1.0D-3", 1.0e-3f},    {"2d2", 200.0f},
               {".50000000", 0.5f}, {"3.", 3.0f},           {"-0.00000000", -0.0f},
               {"1e39", INFINITY},  {"Infinity", INFINITY}, {"-Infinity", -INFINITY},
               {"inf", INFINITY},   {"-INF", -INFINITY}};
  for (const Case& c : cases) {
    float v = 0.0f;
    ASSERT_TRUE(parse_real(c.token, v)) << c.token;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(v), std::bit_cast<std::uint32_t>(c.value)) << c.token;
  }
  float v = 0.0f;
  for (const char* nan_text : {"NaN", "nan", "NAN", "-NaN"}) {
    ASSERT_TRUE(parse_real(nan_text, v)) << nan_text;
    EXPECT_TRUE(std::isnan(v));
  }
  for (const char* bad : {"", "abc", "1.2.3", "--1", "+-1", "1e", "0x10", "1,5", "e5"})
    EXPECT_FALSE(parse_real(bad, v)) << bad;
}

TEST(Reader, IntegersAreDecimalAndWithinInt32) {
  std::int32_t n = 0;
  EXPECT_TRUE(parse_int("+12", n));
  EXPECT_EQ(n, 12);
  EXPECT_TRUE(parse_int("-7", n));
  EXPECT_EQ(n, -7);
  for (const char* bad : {"", "3.0", "2147483648", "1e2", "x"}) EXPECT_FALSE(parse_int(bad, n)) << bad;
}

TEST(Reader, StatementsStartOnNewLinesAndRunAcrossLines) {
  orvik::test::temp_dir dir;
  const std::string file = dir.write("r.txt", "1 2 3\n\n4,\t5\n6 7\n");
  orvik::detail::text_reader in(file);
  std::int32_t a = 0;
  std::int32_t b = 0;
  ASSERT_TRUE(in.read_int(a));
  in.next_statement();  // skips 2 and 3
  float x = 0, y = 0, z = 0;
  ASSERT_TRUE(in.read_real(x));
  ASSERT_TRUE(in.read_real(y));
  ASSERT_TRUE(in.read_real(z));  // runs on to the next line
  EXPECT_EQ(a, 1);
  EXPECT_EQ(x, 4.0f);
  EXPECT_EQ(y, 5.0f);
  EXPECT_EQ(z, 6.0f);
  in.next_statement();
  EXPECT_FALSE(in.read_int(b));
}

TEST(Reader, BadValuesAndUnopenableFilesAreReportedWithStatus2) {
  orvik::test::temp_dir dir;
  const std::string file = dir.write("bad.txt", "1\nabc\n");
  EXPECT_FILE_FAILURE(
      {
        orvik::detail::text_reader in(file);
        std::int32_t n;
        float v;
        in.read_int(n);
        in.next_statement();
        in.read_real(v);
      },
      "line 2: \"abc\" is not a number");
  EXPECT_FILE_FAILURE(orvik::detail::text_reader{dir.path("nope")}, "cannot be opened for reading");
}

}  // namespace
