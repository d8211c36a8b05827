#pragma once
// Lines on standard output. Everything the library prints there goes
// through C stdio, the same stream the error line is written and flushed
// on, so the order of lines is kept.

#include <cstdio>
#include <string_view>

namespace orvik::detail {

inline void print_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace orvik::detail
