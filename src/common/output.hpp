#pragma once
// Lines on standard output. Everything the library prints there goes
// through C stdio, the same stream the error line is written and flushed
// on, so the order of lines is kept.

#include <orvik/exception.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace orvik::detail {

// Held from a stop's first line to the end of the process, so that stops on
// several threads at once write one whole line (or message) and end it once.
void hold_the_stop() noexcept;

// Writes a line; nothing is checked. For the error line (the process ends
// right after it) and for the timers, which stand on nothing of the library.
inline void print_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

// The stop of a failed file or output step: one line on standard error and
// exit status 2, or orvik::file_error while the raising mode is on.
[[noreturn]] inline void io_stop(std::string line) {
  if (raising_enabled()) throw file_error(line);
  line += '\n';
  hold_the_stop();
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  std::exit(2);
}

// Writes a line of printed output and flushes it, so that output lost to a
// full device or a broken stream is reported (like a failed file write)
// instead of passing for printed.
inline void print_output_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return;
  const int error = errno;
  // Cleared, so that a caller that goes on under the raising mode has its
  // next line judged on its own.
  std::clearerr(stdout);
  std::string line = "orvik: standard output: could not be written";
  if (error != 0) {
    line += " (";
    line += std::strerror(error);
    line += ')';
  }
  io_stop(line);
}

}  // namespace orvik::detail
