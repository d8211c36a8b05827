#pragma once
// The single failure path of the library: every failed check fills its
// module's message buffer and calls e_error, which prints one line on
// standard output and ends the process with exit status 1 -- or, while a
// raising_scope is alive, throws orvik::error instead.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvik {

// A fixed 100-character message, blank padded, not terminated.
using t_message = std::array<char, 100>;

struct t_exception {
  std::int32_t number = 0;
  std::int32_t level = 0;
  t_message warning{};
};

// One buffer per module and per thread. They start as 100 zero bytes; a
// check overwrites all 100 characters before it reports.
extern thread_local t_message m_what_exception;
extern thread_local t_message v_what_exception;
extern thread_local t_message u_what_exception;
extern thread_local t_message math_what_exception;

// Builds the record, prints its line with e_print_err and stops the process
// (status 1). Never returns. When checks fail on several threads at once,
// one line is written whole and the process ends; the others write nothing.
[[noreturn]] void e_error(std::int32_t number, const t_message& warning, std::int32_t level);

// Writes the 164-character error line of `e` on standard output.
void e_print_err(const t_exception& e);

// The error line of `e` without its end of line, as e_print_err writes it.
std::string e_error_line(const t_exception& e);

// What e_error throws while the raising mode is on.
class error : public std::runtime_error {
 public:
  explicit error(const t_exception& e);
  const t_exception& exception() const noexcept { return exception_; }

 private:
  t_exception exception_;
};

// Thrown instead of the exit-status-2 stop (a file that cannot be opened or
// created, a value in a file that is not a number) while the raising mode is on.
class file_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// While an instance lives, failures on its own thread throw instead of
// ending the process; other threads keep their own mode. Scopes nest; the
// mode ends with the outermost one.
class raising_scope {
 public:
  raising_scope() noexcept;
  ~raising_scope();
  raising_scope(const raising_scope&) = delete;
  raising_scope& operator=(const raising_scope&) = delete;
};

// True while a raising_scope lives on the calling thread.
bool raising_enabled() noexcept;

}  // namespace orvik
