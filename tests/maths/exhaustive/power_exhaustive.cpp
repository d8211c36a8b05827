// Every float x against the correctly rounded x^y for the given y's, on all
// cores. Not part of ctest (it runs for minutes per y): build the target
// orvik_power_exhaustive and run
//
//   orvik_power_exhaustive [--threads N] [--sample K] [--stride S] Y...
//
// with each Y a float in any form strtof reads, or p/q for float(p/q);
// --stride S checks only every S-th encoding (a quick run).
//
// The reference for a positive finite x is the C library's double pow
// (glibc documents it within 1 ulp, 2^-52 relative): where it lies more
// than 2^-36 of its value away from every midpoint between floats, a
// margin of 2^16 of its own ulps, the float nearest it is the correctly
// rounded x^y; every other x (about one in 2^11) is decided by MPFR
// (mpfr_pow to 24 bits with binary32's exponent range and
// mpfr_subnormalize), which is too slow (some 18 us a call) to take every
// x. With --sample K, every K-th positive x is also checked against MPFR
// directly, which checks the filter. Special operands
// (zeros, infinities, NaNs, negative x) follow C's rules, and a negative x
// with an integer y is checked through |x|^y. The counts of glibc's powf
// results that differ are printed beside, for comparison only.

#include "maths/power.hpp"

#include <mpfr.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using orvik::detail::correctly_rounded_pow;

// MPFR's value with binary32's precision, exponent range and subnormals.
class mpfr_reference {
 public:
  mpfr_reference() {
    mpfr_init2(x_, 24);
    mpfr_init2(y_, 24);
    mpfr_init2(r_, 24);
  }
  ~mpfr_reference() {
    mpfr_clear(x_);
    mpfr_clear(y_);
    mpfr_clear(r_);
  }
  mpfr_reference(const mpfr_reference&) = delete;
  mpfr_reference& operator=(const mpfr_reference&) = delete;
  float pow(float x, float y) {
    const mpfr_exp_t emin = mpfr_get_emin();
    const mpfr_exp_t emax = mpfr_get_emax();
    mpfr_set_emin(-148);
    mpfr_set_emax(128);
    mpfr_set_flt(x_, x, MPFR_RNDN);
    mpfr_set_flt(y_, y, MPFR_RNDN);
    int inexact = mpfr_pow(r_, x_, y_, MPFR_RNDN);
    inexact = mpfr_subnormalize(r_, inexact, MPFR_RNDN);
    const float result = mpfr_get_flt(r_, MPFR_RNDN);
    mpfr_set_emin(emin);
    mpfr_set_emax(emax);
    return result;
  }

 private:
  mpfr_t x_, y_, r_;
};

bool same_bits(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

double float_value(std::uint32_t bits) {
  return bits == 0x7f800000U ? 0x1p128 : static_cast<double>(std::bit_cast<float>(bits));
}

struct counts {
  std::uint64_t checked = 0;
  std::uint64_t mismatches = 0;
  std::uint64_t by_mpfr = 0;
  std::uint64_t sampled = 0;
  std::uint64_t filter_wrong = 0;
  std::uint64_t powf_differs = 0;
  std::uint64_t sqrt_differs = 0;
  void add(const counts& o) {
    checked += o.checked;
    mismatches += o.mismatches;
    by_mpfr += o.by_mpfr;
    sampled += o.sampled;
    filter_wrong += o.filter_wrong;
    powf_differs += o.powf_differs;
    sqrt_differs += o.sqrt_differs;
  }
};

// The correctly rounded |x|^y for a positive finite x.
float reference_positive(float x, float y, mpfr_reference& mpfr, counts& c) {
  const double value = std::pow(static_cast<double>(x), static_cast<double>(y));
  const auto nearest = static_cast<float>(value);
  const auto b = std::bit_cast<std::uint32_t>(nearest);
  const double margin = value * 0x1p-36;
  const bool near_below = b != 0 && value - (float_value(b - 1) + float_value(b)) / 2 <= margin;
  const bool near_above = b != 0x7f800000U && (float_value(b) + float_value(b + 1)) / 2 - value <= margin;
  if (near_below || near_above || !std::isfinite(value)) {
    ++c.by_mpfr;
    return mpfr.pow(x, y);
  }
  return nearest;
}

bool is_integer(float y) { return std::isfinite(y) && std::nearbyint(y) == y; }
bool is_odd_integer(float y) { return is_integer(y) && std::fabs(y) < 0x1p24f && std::fmod(y, 2.0f) != 0.0f; }

void check_range(float y, std::uint64_t first, std::uint64_t last, std::uint64_t stride, std::uint64_t sample,
                 counts& c, std::vector<std::string>& examples) {
  mpfr_reference mpfr;
  const bool y_integer = is_integer(y);
  for (std::uint64_t i = first; i < last; i += stride) {
    const auto bits = static_cast<std::uint32_t>(i);
    const float x = std::bit_cast<float>(bits);
    const float ours = correctly_rounded_pow(x, y);
    float expected = 0.0f;
    const float ax = std::fabs(x);
    if (std::isnan(x) || (x < 0.0f && std::isfinite(x) && !y_integer)) {
      expected = std::nanf("");  // C's rule (y is not 0 here); MPFR would take minutes over them
    } else if (ax == 0.0f || std::isinf(x)) {
      expected = mpfr.pow(x, y);
    } else {
      const float magnitude = reference_positive(ax, y, mpfr, c);
      expected = x < 0.0f && is_odd_integer(y) ? -magnitude : magnitude;
      if (sample != 0 && x > 0.0f && i % sample == 0) {
        ++c.sampled;
        if (!same_bits(mpfr.pow(x, y), magnitude)) ++c.filter_wrong;
      }
      if (x > 0.0f && !same_bits(std::pow(x, y), expected)) ++c.powf_differs;
      if (y == 0.5f && x > 0.0f && !same_bits(orvik::detail::power_half(x), expected)) ++c.sqrt_differs;
    }
    ++c.checked;
    if (!same_bits(ours, expected)) {
      ++c.mismatches;
      if (examples.size() < 10) {
        char line[160];
        std::snprintf(line, sizeof line, "x = %a (0x%08x): %a, expected %a", static_cast<double>(x), bits,
                      static_cast<double>(ours), static_cast<double>(expected));
        examples.emplace_back(line);
      }
    }
  }
}

float parse_y(const char* text) {
  const char* slash = std::strchr(text, '/');
  if (slash != nullptr) {
    const double p = std::strtod(text, nullptr);
    const double q = std::strtod(slash + 1, nullptr);
    return static_cast<float>(p / q);
  }
  return std::strtof(text, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = std::max(1U, std::thread::hardware_concurrency());
  std::uint64_t sample = 0;
  std::uint64_t stride = 1;
  std::vector<float> ys;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--threads" && a + 1 < argc) {
      threads = static_cast<unsigned>(std::strtoul(argv[++a], nullptr, 10));
    } else if (arg == "--stride" && a + 1 < argc) {
      stride = std::max<std::uint64_t>(1, std::strtoull(argv[++a], nullptr, 10));
    } else if (arg == "--sample" && a + 1 < argc) {
      sample = std::strtoull(argv[++a], nullptr, 10);
    } else {
      ys.push_back(parse_y(argv[a]));
    }
  }
  if (ys.empty()) {
    std::fprintf(stderr, "usage: %s [--threads N] [--sample K] [--stride S] Y...\n", argv[0]);
    return 2;
  }
  int status = 0;
  for (const float y : ys) {
    const auto start = std::chrono::steady_clock::now();
    constexpr std::uint64_t total = std::uint64_t{1} << 32;
    // Chunks handed out in turn, so that slow ranges (MPFR, specials) are shared.
    constexpr std::uint64_t chunk = std::uint64_t{1} << 20;
    std::atomic<std::uint64_t> next{0};
    std::vector<counts> per_thread(threads);
    std::vector<std::vector<std::string>> examples(threads);
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
      pool.emplace_back([&, t] {
        for (;;) {
          const std::uint64_t first = next.fetch_add(chunk);
          if (first >= total) break;
          check_range(y, first, std::min(total, first + chunk), stride, sample, per_thread[t], examples[t]);
        }
      });
    }
    for (std::thread& th : pool) th.join();
    counts all;
    for (const counts& c : per_thread) all.add(c);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("y = %a (%.9g): %llu floats, %llu mismatches, %llu decided by MPFR", static_cast<double>(y),
                static_cast<double>(y), static_cast<unsigned long long>(all.checked),
                static_cast<unsigned long long>(all.mismatches), static_cast<unsigned long long>(all.by_mpfr));
    if (sample != 0) {
      std::printf(", %llu sampled against MPFR (%llu filter errors)", static_cast<unsigned long long>(all.sampled),
                  static_cast<unsigned long long>(all.filter_wrong));
    }
    std::printf("; glibc powf differs on %llu positive x", static_cast<unsigned long long>(all.powf_differs));
    if (y == 0.5f) std::printf("; power_half differs on %llu", static_cast<unsigned long long>(all.sqrt_differs));
    std::printf("; %.1f s on %u threads\n", seconds, threads);
    for (const auto& list : examples) {
      for (const auto& line : list) std::printf("  %s\n", line.c_str());
    }
    std::fflush(stdout);
    if (all.mismatches != 0 || all.filter_wrong != 0) status = 1;
  }
  return status;
}
