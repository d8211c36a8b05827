#pragma once
// The wide running sums: the element sums of vectors and matrices and the
// row sums of the dominant generators. Terms are float32 values added in
// order into an accumulator with a 64-bit significand, rounded to nearest
// even after every addition, and the total is rounded to float32 once.
//
// That accumulator is the x87 extended format. Where long double is that
// format it is used as it is; elsewhere (aarch64's 128-bit long double, or a
// long double that is merely a double) an exact software model of it gives
// the same bits, so a sum does not depend on the platform. Defining
// ORVIK_SOFTWARE_WIDE_SUM selects the software model everywhere, which is how
// it is checked against long double on x86.

#include <bit>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

namespace orvik::detail {

// The x87 accumulator itself.
class extended_sum_native {
 public:
  void add(float x) noexcept { s_ = s_ + static_cast<long double>(x); }
  [[nodiscard]] float value() const noexcept { return static_cast<float>(s_); }

 private:
  long double s_ = 0.0L;
};

// A software model of the x87 accumulator for float32 terms. The value is
// sig * 2^exp with sig holding its top bit at bit 63 (sig == 0 is a zero of
// sign neg). Sums of float32 terms stay far inside the x87 exponent range
// (their magnitude is below count * 2^128 and a multiple of 2^-149), so only
// the significand's rounding has to be modelled, never an overflow or a
// subnormal result.
class extended_sum_software {
 public:
  void add(float x) noexcept {
    const auto bits = std::bit_cast<std::uint32_t>(x);
    const bool negative = (bits >> 31) != 0;
    const std::uint32_t biased = (bits >> 23) & 0xffU;
    const std::uint32_t fraction = bits & 0x7fffffU;
    if (biased == 0xffU) {
      if (fraction != 0) {
        nan_ = true;
      } else if (negative) {
        negative_infinity_ = true;
      } else {
        positive_infinity_ = true;
      }
      return;
    }
    if (biased == 0 && fraction == 0) {
      // Only -0 + -0 stays -0 under rounding to nearest.
      if (sig_ == 0) neg_ = neg_ && negative;
      return;
    }
    std::uint64_t m = biased == 0 ? fraction : (fraction | 0x800000U);
    std::int32_t e = biased == 0 ? -149 : static_cast<std::int32_t>(biased) - 150;
    const int shift = std::countl_zero(m);
    m <<= shift;
    e -= shift;
    add_normalised(negative, m, e);
  }

  [[nodiscard]] float value() const noexcept {
    if (nan_ || (positive_infinity_ && negative_infinity_)) return std::numeric_limits<float>::quiet_NaN();
    if (positive_infinity_) return std::numeric_limits<float>::infinity();
    if (negative_infinity_) return -std::numeric_limits<float>::infinity();
    const std::uint32_t sign = neg_ ? 0x80000000U : 0U;
    if (sig_ == 0) return std::bit_cast<float>(sign);
    // Exponent of the leading bit.
    const std::int32_t lead = exp_ + 63;
    if (lead > 127) return std::bit_cast<float>(sign | 0x7f800000U);
    // Bits of sig below the last one a float32 of this magnitude keeps
    // (24 significant bits, or fewer down to 2^-149 for a subnormal).
    const std::int32_t drop = lead >= -126 ? 40 : 40 + (-126 - lead);
    if (drop > 64) return std::bit_cast<float>(sign);  // below half the smallest subnormal
    const std::uint64_t kept = drop == 64 ? 0 : sig_ >> drop;
    const std::uint64_t rest = drop == 64 ? sig_ : sig_ << (64 - drop);
    const std::uint64_t m = kept + (round_up(rest, false, kept) ? 1 : 0);
    // m carries the hidden bit, so a carry out of the significand moves the
    // exponent on by itself, up to the infinity pattern.
    const std::uint64_t magnitude = lead >= -126 ? (static_cast<std::uint64_t>(lead + 126) << 23) + m : m;
    return std::bit_cast<float>(sign | static_cast<std::uint32_t>(magnitude));
  }

 private:
  static constexpr std::uint64_t half = std::uint64_t{1} << 63;

  // Round to nearest even: `rest` are the dropped bits, left-aligned, and
  // `sticky` says whether anything nonzero lies below them.
  static bool round_up(std::uint64_t rest, bool sticky, std::uint64_t kept) noexcept {
    return rest > half || (rest == half && (sticky || (kept & 1U) != 0));
  }

  void add_normalised(bool y_neg, std::uint64_t y_sig, std::int32_t y_exp) noexcept {
    if (sig_ == 0) {  // a float32 fits in 64 bits exactly
      sig_ = y_sig;
      exp_ = y_exp;
      neg_ = y_neg;
      return;
    }
    bool x_neg = neg_;
    std::uint64_t x_sig = sig_;
    std::int32_t x_exp = exp_;
    if (y_exp > x_exp || (y_exp == x_exp && y_sig > x_sig)) {
      std::swap(x_neg, y_neg);
      std::swap(x_sig, y_sig);
      std::swap(x_exp, y_exp);
    }
    // x fills the high word of a 128-bit window; y is shifted under it, and
    // what falls off the window's end is only remembered as nonzero.
    const auto d = static_cast<std::uint32_t>(x_exp - y_exp);
    std::uint64_t y_hi = 0;
    std::uint64_t y_lo = 0;
    bool sticky = false;
    if (d == 0) {
      y_hi = y_sig;
    } else if (d < 64) {
      y_hi = y_sig >> d;
      y_lo = y_sig << (64 - d);
    } else if (d == 64) {
      y_lo = y_sig;
    } else if (d < 128) {
      y_lo = y_sig >> (d - 64);
      sticky = (y_sig << (128 - d)) != 0;
    } else {
      sticky = true;
    }

    std::uint64_t hi = 0;
    std::uint64_t lo = 0;
    if (x_neg == y_neg) {
      lo = y_lo;
      const std::uint64_t t = x_sig + y_hi;
      hi = t;
      if (t < x_sig) {  // carry out: one more bit, the lowest goes to sticky
        sticky = sticky || (lo & 1U) != 0;
        lo = (lo >> 1) | (hi << 63);
        hi = (hi >> 1) | half;
        ++x_exp;
      }
    } else {
      // With sticky set, one unit is borrowed at the window's end, so the
      // exact difference lies strictly between the window and one unit
      // above it: rounding sees it as "more than the window holds".
      const std::uint64_t s = sticky ? 1 : 0;
      lo = 0 - y_lo - s;
      const std::uint64_t borrow = (y_lo != 0 || s != 0) ? 1 : 0;
      hi = x_sig - y_hi - borrow;
      if (hi == 0 && lo == 0) {  // exact cancellation gives +0
        sig_ = 0;
        neg_ = false;
        return;
      }
      // Massive cancellation only happens for d <= 1, where nothing fell off
      // the window, so these shifts are exact; with sticky set it is at most
      // one place.
      const int lz = hi != 0 ? std::countl_zero(hi) : 64 + std::countl_zero(lo);
      if (lz >= 64) {
        hi = lo << (lz - 64);
        lo = 0;
      } else if (lz > 0) {
        hi = (hi << lz) | (lo >> (64 - lz));
        lo <<= lz;
      }
      x_exp -= lz;
    }
    if (round_up(lo, sticky, hi)) {
      ++hi;
      if (hi == 0) {
        hi = half;
        ++x_exp;
      }
    }
    sig_ = hi;
    exp_ = x_exp;
    neg_ = x_neg;
  }

  std::uint64_t sig_ = 0;
  std::int32_t exp_ = 0;
  bool neg_ = false;
  bool nan_ = false;
  bool positive_infinity_ = false;
  bool negative_infinity_ = false;
};

inline constexpr bool long_double_is_x87_extended =
    std::numeric_limits<long double>::digits == 64 && std::numeric_limits<long double>::max_exponent == 16384;

#if defined(ORVIK_SOFTWARE_WIDE_SUM)
using wide_sum = extended_sum_software;
#else
using wide_sum = std::conditional_t<long_double_is_x87_extended, extended_sum_native, extended_sum_software>;
#endif

}  // namespace orvik::detail
