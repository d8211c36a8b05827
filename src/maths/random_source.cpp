#include "maths/random_source.hpp"

#include <chrono>

namespace orvik::detail {
namespace {

// Each thread draws its own sequence, from the same default seed.
thread_local std::uint64_t random_state = random_default_seed;

std::uint64_t splitmix64_next() noexcept {
  random_state += 0x9e3779b97f4a7c15ULL;
  std::uint64_t z = random_state;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

}  // namespace

float random_uniform(std::int32_t flag) noexcept {
  if (flag == 1) {
    random_state = random_default_seed;
  } else if (flag != 0) {
    random_state = static_cast<std::uint64_t>(static_cast<std::uint32_t>(flag));
  }
  // 24 bits fill a float32 mantissa exactly, so the value is exact and < 1.
  return static_cast<float>(splitmix64_next() >> 40) * 0x1.0p-24f;
}

double clock_seconds_of_day() noexcept {
  using namespace std::chrono;
  const auto now = system_clock::now().time_since_epoch();
  const auto day = duration_cast<microseconds>(now) % duration_cast<microseconds>(hours(24));
  return static_cast<double>(day.count()) / 1.0e6;
}

std::int32_t wrapping_pow100(std::int32_t k) noexcept {
  const std::uint32_t k1 = static_cast<std::uint32_t>(k);
  const std::uint32_t k2 = k1 * k1;
  const std::uint32_t k4 = k2 * k2;
  const std::uint32_t k8 = k4 * k4;
  const std::uint32_t k16 = k8 * k8;
  const std::uint32_t k17 = k16 * k1;
  const std::uint32_t k25 = k17 * k8;
  const std::uint32_t k50 = k25 * k25;
  return static_cast<std::int32_t>(k50 * k50);
}

float random_fill_value(std::int32_t k, float low, float high) noexcept {
  const auto seconds = static_cast<std::int32_t>(clock_seconds_of_day());
  const auto flag =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(wrapping_pow100(k)) * static_cast<std::uint32_t>(seconds));
  return random_scaled(flag, low, high);
}

float random_scaled(std::int32_t flag, float low, float high) noexcept {
  const float r = random_uniform(flag);
  const float span = high - low;
  const float scaled = r * span;
  return low + scaled;
}

}  // namespace orvik::detail
