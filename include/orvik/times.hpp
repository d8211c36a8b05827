#pragma once
// Named wall-clock timers. They have no checks and report no errors.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvik {

// One reading of the system clock, a millisecond count modulo 2^31.
struct t_clock_reading {
  std::int32_t ticks = 0;
  std::int32_t ticks_div_1000 = 0;
  std::int32_t ticks_div_1000_b = 0;
  std::int32_t ticks_div_1000000 = 0;
};

struct t_time {
  t_clock_reading clock_begin;
  t_clock_reading clock_end;
  float aux_total = 0.0f;
  float total = 0.0f;  // milliseconds
  float cpu_begin = 0.0f;
  float cpu_end = 0.0f;
  float scale = 0.0f;
  std::array<char, 30> name{};
  std::array<char, 2> time_unit{};
  std::int32_t count = 0;
  std::int32_t reset_count = 0;
  std::int32_t skip_count = 0;
};

// Names the timer (blank padded to 30), unit "ms", scale 0.001, and resets
// it. reset_count: the count at which ft_end resets the total; skip_count:
// the number of first intervals not measured.
void ft_create_time(t_time& t, std::string_view name, std::int32_t reset_count, std::int32_t skip_count);
// A nameless timer with every count 0, reset.
void ft_create_time_init(t_time& t);
// Copies the accumulated state of `t` into `t_copy`, then resets `t`.
void ft_create_time_copy(t_time& t, t_time& t_copy);
// Total and count back to 0; the processor clock is read into cpu_begin.
void ft_reset(t_time& t);
// Marks the start of an interval (unless it is one of the first skip_count)
// and counts it.
void ft_begin(t_time& t);
// Adds the milliseconds since ft_begin to total (modulo 2^31, like the
// clock); resets the timer when the count reaches reset_count.
void ft_end(t_time& t);
// One line on standard output, "name:<name>, tot (ms): <total>, avg:
// <average>, COUNT=<count>, myrank=<myrank>" (myrank omitted: 0); nothing
// while the count is 0.
void ft_print(const t_time& t, std::optional<std::int32_t> myrank = std::nullopt);
// The system clock in milliseconds modulo 2^31, with the count divided by
// 1000 (twice) and by 1000000.
void ft_gettimeofday(t_clock_reading& reading);

}  // namespace orvik
