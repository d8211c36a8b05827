#pragma once
// Shared pieces of the bit-for-bit kernel tests: value generators that show
// any change of rounding order in the last bits, special values, and a
// comparison that is exact on every bit except NaN payloads.

#include "support/generators.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace orvik::test {

// Overwrites about one value in `every` with NaN, +-Inf, -0, +0 or a
// subnormal.
inline void sprinkle_specials(std::mt19937& gen, std::vector<float>& values, std::uint32_t every) {
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            -0.0f,
                            0.0f,
                            std::numeric_limits<float>::denorm_min(),
                            -3.0e-39f,
                            1.1754942e-38f};
  std::uniform_int_distribution<std::uint32_t> pick(0, every - 1);
  std::uniform_int_distribution<std::size_t> which(0, std::size(specials) - 1);
  for (float& x : values) {
    if (pick(gen) == 0) x = specials[which(gen)];
  }
}

// IEEE leaves the payload and sign of a NaN result to the instruction
// (which operand it comes from depends on the instruction form the compiler
// picks), so every NaN counts as the same value; all other bits must agree,
// -0 against +0 included.
inline std::uint32_t canonical_bits(float x) { return std::isnan(x) ? 0x7fc00000u : std::bit_cast<std::uint32_t>(x); }

inline ::testing::AssertionResult same_bits(const std::vector<float>& got, const std::vector<float>& want) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "sizes " << got.size() << " " << want.size();
  for (std::size_t t = 0; t < got.size(); ++t) {
    if (canonical_bits(got[t]) != canonical_bits(want[t])) {
      return ::testing::AssertionFailure()
             << "element " << t << ": " << got[t] << " (0x" << std::hex << std::bit_cast<std::uint32_t>(got[t])
             << ") against " << want[t] << " (0x" << std::bit_cast<std::uint32_t>(want[t]) << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace orvik::test
