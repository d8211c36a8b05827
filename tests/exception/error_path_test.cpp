// The error line, the message buffers and the two ways a failure ends:
// the process stop (exit status 1) and the opt-in raising mode.

#include <gtest/gtest.h>
#include <orvik/exception.hpp>

#include "exception/fail.hpp"
#include "support/child.hpp"

#include <algorithm>
#include <string>

namespace {

using orvik::t_message;

t_message message_of(std::string_view text) {
  t_message m;
  orvik::detail::fill_message(m, text);
  return m;
}

TEST(ErrorLine, HasTheFixedLayoutAnd164Characters) {
  orvik::t_exception e;
  e.number = 2001;
  e.level = 2001;
  e.warning = message_of("m_getSizeRows::matrix not allocated");
  const std::string line = orvik::e_error_line(e);
  EXPECT_EQ(line.size(), 164u);
  EXPECT_EQ(line,
            " error----> number=        2001  , level=        2001 , warning=m_getSizeRows::matrix not allocated" +
                std::string(65, ' '));
}

TEST(ErrorLine, NegativeNumbersKeepTheirSignBeforeTheFirstDigit) {
  orvik::t_exception e;
  e.number = -42;
  e.level = -2147483647 - 1;
  e.warning = message_of("x");
  const std::string line = orvik::e_error_line(e);
  EXPECT_NE(line.find("number=         -42  , level= -2147483648 , warning=x "), std::string::npos) << line;
  EXPECT_EQ(line.size(), 164u);
}

TEST(MessageBuffer, IsPaddedToOrCutAt100Characters) {
  const std::string exact(100, 'a');
  EXPECT_EQ(std::string(message_of(exact).data(), 100), exact);
  EXPECT_EQ(std::string(message_of(exact + "b").data(), 100), exact);
  const t_message short_one = message_of("ab");
  EXPECT_EQ(std::string(short_one.data(), 100), "ab" + std::string(98, ' '));
}

TEST(MessageBuffer, MathsBufferStartsAsZeroBytesAndIsNeverWritten) {
  EXPECT_TRUE(std::all_of(orvik::math_what_exception.begin(), orvik::math_what_exception.end(),
                          [](char c) { return c == '\0'; }));
}

TEST(ProcessStop, PrintsOneLineFlushesEarlierOutputAndExitsWithStatus1) {
  const auto result = orvik::test::run_in_child([] {
    std::fputs("before\n", stdout);  // still buffered when the stop comes
    orvik::detail::fail(orvik::v_what_exception, "v_init::positive size expected", 201);
  });
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "before\n" + orvik::test::error_line(201, "v_init::positive size expected"));
  EXPECT_EQ(result.err, "");
}

TEST(ProcessStop, MessagesOf100And101CharactersPrintTheirFirst100) {
  const std::string hundred(100, 'm');
  EXPECT_STOPS_WITH(orvik::detail::fail(orvik::m_what_exception, hundred, 202), 202, hundred);
  EXPECT_STOPS_WITH(orvik::detail::fail(orvik::m_what_exception, hundred + "X", 202), 202, hundred);
}

TEST(ProcessStop, EErrorUsesItsOwnLevelArgument) {
  const auto result = orvik::test::run_in_child([] { orvik::e_error(300, message_of("msg"), 7); });
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out.substr(0, 54), " error----> number=         300  , level=           7 ");
}

TEST(RaisingMode, ThrowsTheRecordInsteadOfStopping) {
  orvik::raising_scope guard;
  try {
    orvik::detail::fail(orvik::u_what_exception, "u_is_exist_file::x not exist", 3001);
    FAIL() << "no exception";
  } catch (const orvik::error& e) {
    EXPECT_EQ(e.exception().number, 3001);
    EXPECT_EQ(e.exception().level, 3001);
    EXPECT_EQ(std::string(e.exception().warning.data(), 28), "u_is_exist_file::x not exist");
    EXPECT_EQ(std::string(e.what()), orvik::e_error_line(e.exception()));
  }
  // The module buffer was filled on the way, as on the stop path.
  EXPECT_EQ(std::string(orvik::u_what_exception.data(), 28), "u_is_exist_file::x not exist");
}

TEST(RaisingMode, NestsAndEndsWithTheOutermostScope) {
  EXPECT_FALSE(orvik::raising_enabled());
  {
    orvik::raising_scope outer;
    {
      orvik::raising_scope inner;
      EXPECT_TRUE(orvik::raising_enabled());
    }
    EXPECT_TRUE(orvik::raising_enabled());
  }
  EXPECT_FALSE(orvik::raising_enabled());
  EXPECT_STOPS_WITH(orvik::detail::fail(orvik::m_what_exception, "stop", 101), 101, "stop");
}

TEST(RaisingMode, AnErrorThrownInAChildEndsThatChildOnly) {
  orvik::raising_scope guard;
  const auto result =
      orvik::test::run_in_child([] { orvik::detail::fail(orvik::m_what_exception, "m_init::allocate error", 2001); });
  EXPECT_EQ(result.exit_code, orvik::test::uncaught_exit_code);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("m_init::allocate error"), std::string::npos) << result.err;
}

}  // namespace
