// The singular value decomposition's kernels against their reference loops,
// bit for bit: the rotation chain forwards and backwards on row counts
// around every stretch of vectors and tail, with special values among the
// entries, and the bidiagonal sweep in its four forms.

#include "kernels/kernel_checks.hpp"
#include "kernels/kernels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace orvik {
namespace {

using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();
const kernels::kernel_table& fast = kernels::optimised_kernels();

// Unit-length (c, s) pairs with both signs, some exactly (1, 0) or (0, 1).
void rotations(std::mt19937& gen, std::int32_t count, std::vector<float>& c, std::vector<float>& s) {
  std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
  c.resize(static_cast<std::size_t>(count));
  s.resize(static_cast<std::size_t>(count));
  for (std::size_t t = 0; t < c.size(); ++t) {
    const float x = angle(gen);
    const float y = angle(gen);
    const float r = std::sqrt(x * x + y * y);
    c[t] = t % 7 == 3 ? 1.0f : std::fabs(x) / r;
    s[t] = t % 7 == 3 ? 0.0f : (t % 11 == 5 ? 1.0f : y / r);
    if (t % 11 == 5) c[t] = 0.0f;
  }
}

TEST(RotationKernels, ChainMatchesReferenceOnEveryRowCount) {
  std::mt19937 gen(41);
  for (const std::int32_t rows : {0, 1, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 129, 256, 300}) {
    for (const std::int32_t count : {1, 2, 5, 19}) {
      for (const bool backward : {false, true}) {
        for (const std::uint32_t specials : {0u, 13u}) {
          const std::int32_t ld = rows + 3;
          auto a = test::spread_values(gen, static_cast<std::size_t>(ld) * (count + 1));
          if (specials != 0) test::sprinkle_specials(gen, a, specials);
          std::vector<float> c;
          std::vector<float> s;
          rotations(gen, count, c, s);
          auto want = a;
          ref.rotate_columns(want.data(), ld, rows, count, c.data(), s.data(), backward);
          fast.rotate_columns(a.data(), ld, rows, count, c.data(), s.data(), backward);
          EXPECT_TRUE(same_bits(a, want)) << rows << " rows, " << count << " rotations, backward " << backward;
        }
      }
    }
  }
}

TEST(RotationKernels, BidiagonalSweepMatchesReference) {
  std::mt19937 gen(43);
  for (const std::int32_t count : {1, 2, 3, 10, 40}) {
    for (const bool downwards : {true, false}) {
      for (const float shift : {0.0f, 0.25f}) {
        for (const int scale : {0, -90, 90}) {
          std::vector<float> d = test::spread_values(gen, static_cast<std::size_t>(count) + 1);
          std::vector<float> e = test::spread_values(gen, static_cast<std::size_t>(count));
          for (float& x : d) x = std::ldexp(x, scale);
          for (float& x : e) x = std::ldexp(x, scale);
          if (count > 2) d[1] = 0.0f;
          const float sh = std::ldexp(shift, scale);
          std::vector<float> want_d = d;
          std::vector<float> want_e = e;
          std::vector<std::vector<float>> want(4, std::vector<float>(static_cast<std::size_t>(count)));
          std::vector<std::vector<float>> got = want;
          // A loose tolerance makes the scan split early now and then.
          const float tol = count % 2 == 0 ? 0x1p-20f : 0.5f;
          std::vector<float> want_minima(static_cast<std::size_t>(count) + 1, -1.0f);
          std::vector<float> got_minima = want_minima;
          const std::int32_t want_split =
              ref.bidiagonal_sweep(want_d.data(), want_e.data(), count, sh, downwards, want[0].data(), want[1].data(),
                                   want[2].data(), want[3].data(), tol, want_minima.data());
          const std::int32_t got_split =
              fast.bidiagonal_sweep(d.data(), e.data(), count, sh, downwards, got[0].data(), got[1].data(),
                                    got[2].data(), got[3].data(), tol, got_minima.data());
          EXPECT_TRUE(same_bits(d, want_d)) << count << " " << downwards << " " << shift << " " << scale;
          EXPECT_TRUE(same_bits(e, want_e));
          EXPECT_EQ(got_split, want_split);
          EXPECT_TRUE(same_bits(got_minima, want_minima));
          for (std::size_t k = 0; k < 4; ++k) EXPECT_TRUE(same_bits(got[k], want[k]));
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvik
