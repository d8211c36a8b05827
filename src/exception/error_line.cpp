#include <orvik/exception.hpp>

#include "common/number_format.hpp"
#include "common/output.hpp"
#include "exception/fail.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace orvik {

t_message m_what_exception{};
t_message v_what_exception{};
t_message u_what_exception{};
t_message math_what_exception{};

std::string e_error_line(const t_exception& e) {
  std::string line;
  line.reserve(164);
  line += " error----> number=";
  line += ' ';
  line += detail::format_int_field(e.number);
  line += ' ';
  line += " , level=";
  line += ' ';
  line += detail::format_int_field(e.level);
  line += ' ';
  line += ", warning=";
  line.append(e.warning.data(), e.warning.size());
  return line;
}

void e_print_err(const t_exception& e) { detail::print_line(e_error_line(e)); }

void e_error(std::int32_t number, const t_message& warning, std::int32_t level) {
  t_exception e;
  e.number = number;
  e.level = level;
  e.warning = warning;
  if (raising_enabled()) throw error(e);
  e_print_err(e);
  std::fflush(stdout);
  // exit() rather than _exit(): open streams are flushed and closed as on
  // any normal end, but records the caller holds are not released.
  std::exit(1);
}

namespace detail {

void fill_message(t_message& buffer, std::string_view message) noexcept {
  buffer.fill(' ');
  std::copy_n(message.begin(), std::min(message.size(), buffer.size()), buffer.begin());
}

void fail(t_message& buffer, std::string_view message, std::int32_t number) {
  fill_message(buffer, message);
  e_error(number, buffer, number);
}

}  // namespace detail
}  // namespace orvik
