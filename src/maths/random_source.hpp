#pragma once
// The process-wide random source and the time-of-day clock shared by the
// matrix and vector generators.
//
// The generator is SplitMix64 with the top 24 bits of each output scaled to
// [0, 1), so every platform and compiler draws the same sequence. The flag
// of each draw: 0 continues the sequence, 1 restarts it from the default
// seed, any other value reseeds it with that value.

#include <cstdint>

namespace orvik::detail {

inline constexpr std::uint64_t random_default_seed = 0x6f7276696b2d3031ULL;

float random_uniform(std::int32_t flag) noexcept;

// Seconds since midnight (UTC), with a fractional part.
double clock_seconds_of_day() noexcept;

// k to the power 100 in 32-bit wrap-around arithmetic.
std::int32_t wrapping_pow100(std::int32_t k) noexcept;

// low + r * (high - low) for the value r the source gives for `flag`, each
// operation rounded to float32.
float random_scaled(std::int32_t flag, float low, float high) noexcept;

// The per-element draw of the random fillers: the flag is k^100 times the
// whole seconds of the clock, read anew for every element, both in
// wrap-around arithmetic; the value is low + r * (high - low).
float random_fill_value(std::int32_t k, float low, float high) noexcept;

}  // namespace orvik::detail
