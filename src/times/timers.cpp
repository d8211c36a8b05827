#include <orvik/times.hpp>

#include "common/number_format.hpp"
#include "common/output.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

namespace orvik {
namespace {

float processor_seconds() noexcept { return static_cast<float>(std::clock()) / static_cast<float>(CLOCKS_PER_SEC); }

template <std::size_t N>
void assign_padded(std::array<char, N>& field, std::string_view text) {
  field.fill(' ');
  std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
}

template <std::size_t N>
std::string_view trimmed(const std::array<char, N>& field) {
  std::size_t n = N;
  while (n > 0 && field[n - 1] == ' ') --n;
  return {field.data(), n};
}

}  // namespace

void ft_gettimeofday(t_clock_reading& reading) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  reading.ticks = static_cast<std::int32_t>(ms % (std::int64_t{1} << 31));
  reading.ticks_div_1000 = reading.ticks / 1000;
  reading.ticks_div_1000_b = reading.ticks / 1000;
  reading.ticks_div_1000000 = reading.ticks / 1000000;
}

void ft_reset(t_time& t) {
  t.total = 0.0f;
  t.cpu_begin = processor_seconds();
  t.count = 0;
}

void ft_create_time(t_time& t, std::string_view name, std::int32_t reset_count, std::int32_t skip_count) {
  t.scale = 0.001f;
  t.aux_total = t.total = t.cpu_begin = t.cpu_end = 0.0f;
  assign_padded(t.name, name);
  assign_padded(t.time_unit, "ms");
  t.count = 0;
  t.reset_count = reset_count;
  t.skip_count = skip_count;
  ft_reset(t);
}

void ft_create_time_init(t_time& t) {
  t.aux_total = t.total = t.cpu_begin = t.cpu_end = t.scale = 0.0f;
  assign_padded(t.name, "");
  assign_padded(t.time_unit, "ms");
  t.count = t.reset_count = t.skip_count = 0;
  ft_reset(t);
}

void ft_create_time_copy(t_time& t, t_time& t_copy) {
  t_copy.aux_total = t.aux_total;
  t_copy.total = t.total;
  t_copy.cpu_begin = t.cpu_begin;
  t_copy.cpu_end = t.cpu_end;
  t_copy.scale = t.scale;
  t_copy.name = t.name;
  t_copy.time_unit = t.time_unit;
  t_copy.count = t.count;
  t_copy.reset_count = t.reset_count;
  t_copy.skip_count = t.skip_count;
  ft_reset(t);
}

void ft_begin(t_time& t) {
  if (t.count >= t.skip_count) {
    ft_gettimeofday(t.clock_begin);
    t.cpu_begin = processor_seconds();
    t.cpu_end = 0.0f;
  }
  ++t.count;
}

void ft_end(t_time& t) {
  if (t.count <= t.skip_count) return;
  ft_gettimeofday(t.clock_end);
  // The difference wraps like the clock count it comes from.
  const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(t.clock_end.ticks) -
                                                 static_cast<std::uint32_t>(t.clock_begin.ticks));
  t.total = t.total + static_cast<float>(elapsed);
  if (t.count == t.reset_count) ft_reset(t);
}

void ft_print(const t_time& t, std::optional<std::int32_t> myrank) {
  if (t.count < 1) return;
  const float average = t.total / static_cast<float>(t.count);
  std::string line = "name:";
  line += trimmed(t.name);
  line += ", tot (";
  line += trimmed(t.time_unit);
  line += "): ";
  line += detail::format_real_width(t.total, 24, 3);
  line += ", avg: ";
  line += detail::format_real_width(average, 12, 3);
  line += ", COUNT=";
  line += detail::format_int_width(t.count, 10);
  line += ", myrank=";
  line += detail::format_int_width(myrank.value_or(0), 3);
  detail::print_line(line);
}

}  // namespace orvik
