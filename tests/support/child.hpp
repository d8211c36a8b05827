#pragma once
// Runs a piece of code in a child process and captures what it prints, so
// that the process stops of the error path can be checked exactly.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::test {

struct child_result {
  int exit_code = -1;  // -1 when the child did not exit normally
  std::string out;     // standard output
  std::string err;     // standard error
};

// The exit status of a child whose body let an exception escape.
inline constexpr int uncaught_exit_code = 99;

// Runs `body` in a forked child; a body that returns ends the child with 0.
child_result run_in_child(const std::function<void()>& body);

// The error line e_error prints, end of line included.
std::string error_line(std::int32_t number, std::string_view message);

// One row of a table of stops: `body` must end with the error line of
// (number, message).
struct stop_case {
  std::string what;
  std::function<void()> body;
  std::int32_t number;
  std::string message;
};

// The one runner of stop tables. In a child process each body stops with
// exactly its error line and exit status 1; in-process under raising_scope
// it throws orvik::error whose record gives that same line.
void expect_stops(const std::vector<stop_case>& cases);

}  // namespace orvik::test

// The body stops with exactly the error line of (number, message) on
// standard output, nothing else, and exit status 1.
#define EXPECT_STOPS_WITH(body, number, message)                                                 \
  do {                                                                                           \
    const ::orvik::test::child_result stop_result_ = ::orvik::test::run_in_child([&] { body; }); \
    EXPECT_EQ(stop_result_.exit_code, 1);                                                        \
    EXPECT_EQ(stop_result_.out, ::orvik::test::error_line(number, message));                     \
  } while (0)

// The body ends with the standard-error report of a file problem
// (exit status 2) whose text contains `fragment`.
#define EXPECT_FILE_FAILURE(body, fragment)                                                      \
  do {                                                                                           \
    const ::orvik::test::child_result stop_result_ = ::orvik::test::run_in_child([&] { body; }); \
    EXPECT_EQ(stop_result_.exit_code, 2);                                                        \
    EXPECT_NE(stop_result_.err.find(fragment), std::string::npos) << stop_result_.err;           \
    EXPECT_EQ(std::count(stop_result_.err.begin(), stop_result_.err.end(), '\n'), 1);            \
  } while (0)
