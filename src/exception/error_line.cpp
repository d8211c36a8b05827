#include <orvik/exception.hpp>

#include "common/number_format.hpp"
#include "common/output.hpp"
#include "exception/fail.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

namespace orvik {

thread_local t_message m_what_exception{};
thread_local t_message v_what_exception{};
thread_local t_message u_what_exception{};
thread_local t_message math_what_exception{};

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
  detail::hold_the_stop();
  e_print_err(e);
  std::fflush(stdout);
  // exit() rather than _exit(): open streams are flushed and closed as on
  // any normal end, but records the caller holds are not released.
  std::exit(1);
}

namespace detail {

void hold_the_stop() noexcept {
  // Never released: the process ends while it is held, and a thread that
  // fails after the first waits here until then.
  // Never destroyed either, for the same reason: made in storage of its own.
  alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
  static std::mutex* const stop = ::new (static_cast<void*>(storage)) std::mutex;
  stop->lock();
}

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
