// The products split across threads, and the blocked factorizations whose
// updates are split products, against one reference call on the whole, bit
// for bit, at 1, 2, 3, 5 and 8 threads (more than the machine has
// included), on the grid a shape gets and on forced tiles that cut the
// register tiles and cache blocks anywhere, with the shares handed out in a
// shuffled order and some of them late.

#include "kernels/kernel_checks.hpp"
#include "kernels/kernels.hpp"
#include "support/generators.hpp"
#include "threads/thread_pool.hpp"

#include <orvik/matrix.hpp>
#include <orvik/runtime.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace orvik {
namespace {

using kernels::gemm_mode;
using kernels::operand;
using test::same_bits;

const kernels::kernel_table& ref = kernels::reference_kernels();

// Restores the thread count and the test settings.
struct threading_scope {
  threading_scope(std::int32_t threads, std::int32_t edge, std::uint32_t seed) {
    set_num_threads(threads);
    kernels::testing::set_tile_edge(edge);
    threads::testing::shuffle_shares(seed);
  }
  threading_scope(const threading_scope&) = delete;
  threading_scope& operator=(const threading_scope&) = delete;
  ~threading_scope() {
    set_num_threads(0);
    kernels::testing::set_tile_edge(0);
    threads::testing::shuffle_shares(0);
  }
};

struct shape {
  std::int32_t m, n, k;
};

constexpr gemm_mode kModes[] = {gemm_mode::assign, gemm_mode::add, gemm_mode::subtract};

// The operands of one shape and the reference table's results on them, each
// one call on the whole: the general product in its three modes with a
// transposed, padded a, the square-storage product and both matrix-vector
// products of an m x k matrix.
struct products {
  explicit products(shape sh) : s(sh), lda(sh.k + 3), ldc(sh.m + 2) {
    std::mt19937 gen(static_cast<std::uint32_t>(s.m * 7919 + s.n * 31 + s.k));
    a = test::spread_values(gen, static_cast<std::size_t>(lda) * s.m);  // a^T stored, k x m
    b = test::spread_values(gen, static_cast<std::size_t>(s.k) * s.n);
    c0 = test::spread_values(gen, static_cast<std::size_t>(ldc) * s.n);
    am = test::spread_values(gen, static_cast<std::size_t>(s.m) * s.k);
    x = test::spread_values(gen, static_cast<std::size_t>(s.k));
    xl = test::spread_values(gen, static_cast<std::size_t>(s.m));
    want = compute(false);
  }

  // Every product through the reference table (split false) or through the
  // split wrappers of the active table.
  std::vector<std::vector<float>> compute(bool split) const {
    std::vector<std::vector<float>> out(6);
    for (std::size_t t = 0; t < 3; ++t) {
      out[t] = c0;
      const operand ao{a.data(), lda, 1};
      const operand bo{b.data(), 1, s.k};
      if (split) {
        kernels::gemm(s.m, s.n, s.k, ao, bo, out[t].data(), ldc, kModes[t]);
      } else {
        ref.gemm(s.m, s.n, s.k, ao, bo, out[t].data(), ldc, kModes[t]);
      }
    }
    out[3].resize(static_cast<std::size_t>(s.m) * s.n);
    out[4].resize(static_cast<std::size_t>(s.m));
    out[5].resize(static_cast<std::size_t>(s.k));
    if (split) {
      kernels::prod_mat(am.data(), b.data(), out[3].data(), s.m, s.k, s.n);
      kernels::prod_vec(am.data(), x.data(), out[4].data(), s.m, s.k);
      kernels::prod_vec_left(xl.data(), am.data(), out[5].data(), s.m, s.k);
    } else {
      ref.prod_mat(am.data(), b.data(), out[3].data(), s.m, s.k, s.n);
      ref.prod_vec(am.data(), x.data(), out[4].data(), s.m, s.k);
      ref.prod_vec_left(xl.data(), am.data(), s.m, out[5].data(), s.m, s.k);
    }
    return out;
  }

  ::testing::AssertionResult split_agrees() const {
    const auto got = compute(true);
    for (std::size_t t = 0; t < got.size(); ++t) {
      if (auto r = same_bits(got[t], want[t]); !r) return r << " product " << t;
    }
    return ::testing::AssertionSuccess();
  }

  shape s;
  std::int32_t lda, ldc;
  std::vector<float> a, b, c0, am, x, xl;
  std::vector<std::vector<float>> want;
};

// Smaller than a register tile, few outputs with long sums, across register
// tiles and cache blocks (256 terms, 192 rows), and large enough for grids
// of their own (the last one's matrix-vector products too).
constexpr shape kShapes[] = {{3, 5, 4}, {9, 2, 300}, {37, 29, 17}, {200, 70, 260}, {300, 260, 64}, {1100, 2, 2100}};

TEST(ThreadedProducts, MatchTheReferenceAtEveryThreadCountAndTiling) {
  const std::vector<products> cases(std::begin(kShapes), std::end(kShapes));
  for (const std::int32_t threads : {1, 2, 3, 5, 8}) {
    for (const std::int32_t edge : {0, 1, 7, 40}) {
      const threading_scope scope(threads, edge, 0);
      // Single-element tiles on the small shapes only.
      for (const products& p : edge == 1 ? std::span(cases).first(3) : std::span(cases)) {
        EXPECT_TRUE(p.split_agrees()) << p.s.m << "x" << p.s.n << "x" << p.s.k << " threads " << threads << " edge "
                                      << edge;
      }
    }
  }
}

TEST(ThreadedProducts, MatchTheReferenceWhateverOrderTheSharesRunIn) {
  const std::vector<products> cases{products(shape{61, 45, 33}), products(shape{40, 1, 500})};
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    const threading_scope scope(3, 13, seed);
    for (const products& p : cases) EXPECT_TRUE(p.split_agrees()) << p.s.m << "x" << p.s.n << " seed " << seed;
  }
}

// LU, Cholesky (its lower triangle: the upper one is scratch), the
// Gauss-Jordan inverse and determinant of an SPD matrix, and the LU of its
// upper half.
std::vector<std::vector<float>> factorizations(const kernels::kernel_table& table, const std::vector<float>& a,
                                               std::int32_t n) {
  const auto size = static_cast<std::size_t>(n);
  std::vector<std::vector<float>> out(4, a);
  table.lu(out[0].data(), n, n);
  table.cholesky(out[1].data(), n, 0x1p-24f);
  for (std::size_t j = 0; j < size; ++j) std::fill_n(out[1].begin() + static_cast<std::ptrdiff_t>(j * size), j, 0.0f);
  std::vector<float> t = a;
  std::fill(out[2].begin(), out[2].end(), 0.0f);
  for (std::size_t i = 0; i < size; ++i) out[2][i * size + i] = 1.0f;
  table.gauss_jordan_inverse(t.data(), out[2].data(), n, 0x1p-24f);
  t = a;
  out[3] = {table.gauss_jordan_det(t.data(), n, 0x1p-24f)};
  // A wide LU: the top half of the rows, whose right part is rows of U only.
  const std::int32_t h = n / 2;
  out.emplace_back();
  for (std::size_t j = 0; j < size; ++j) {
    out.back().insert(out.back().end(), a.begin() + static_cast<std::ptrdiff_t>(j * size),
                      a.begin() + static_cast<std::ptrdiff_t>(j * size + static_cast<std::size_t>(h)));
  }
  table.lu(out.back().data(), h, n);
  return out;
}

TEST(ThreadedFactorizations, MatchTheReferenceAtEveryThreadCount) {
  for (const std::int32_t n : {150, 300}) {
    const std::vector<float> a = test::spd_matrix(n, static_cast<unsigned>(n)).elements;
    const auto want = factorizations(ref, a, n);
    for (const std::int32_t threads : {1, 2, 3, 5, 8}) {
      for (const std::int32_t edge : {0, 40}) {
        const threading_scope scope(threads, edge, edge == 0 ? 0 : 7);
        const auto got = factorizations(kernels::active_kernels(), a, n);
        for (std::size_t t = 0; t < got.size(); ++t) {
          EXPECT_TRUE(same_bits(got[t], want[t]))
              << "factorization " << t << " n " << n << " threads " << threads << " edge " << edge;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvik
