// The library's thread pool: every share runs exactly once, whatever the
// thread count and order; a call from inside a share stays on its thread;
// several callers at once each get their work done; a child process made
// by fork() after the pool has run has a working pool of its own.

#include "threads/thread_pool.hpp"
#include "kernels/kernel_checks.hpp"
#include "kernels/kernels.hpp"
#include "support/child.hpp"

#include <orvik/runtime.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include <unistd.h>

namespace orvik {
namespace {

using kernels::gemm_mode;
using kernels::operand;

struct count_scope {
  explicit count_scope(std::int32_t n) { set_num_threads(n); }
  count_scope(const count_scope&) = delete;
  count_scope& operator=(const count_scope&) = delete;
  ~count_scope() {
    set_num_threads(0);
    threads::testing::shuffle_shares(0);
    kernels::testing::set_tile_edge(0);
  }
};

TEST(ThreadPool, RunsEveryShareOnceAtAnyCountAndOrder) {
  for (const std::int32_t n : {1, 2, 3, 8}) {
    const count_scope scope(n);
    for (const std::uint32_t seed : {0u, 5u}) {
      threads::testing::shuffle_shares(seed);
      for (const std::int32_t shares : {0, 1, 2, 7, 40}) {
        std::vector<std::atomic<int>> runs(static_cast<std::size_t>(shares));
        threads::parallel_for(shares, [&](std::int32_t s) noexcept { runs[static_cast<std::size_t>(s)]++; });
        for (std::int32_t s = 0; s < shares; ++s) {
          EXPECT_EQ(runs[static_cast<std::size_t>(s)].load(), 1)
              << "share " << s << " of " << shares << " threads " << n;
        }
      }
    }
  }
}

TEST(ThreadPool, CountFollowsSetNumThreads) {
  const count_scope scope(3);
  EXPECT_EQ(num_threads(), 3);
  set_num_threads(1);
  EXPECT_EQ(num_threads(), 1);
  set_num_threads(0);
  EXPECT_GE(num_threads(), 1);
}

// A 90 x 70 x 50 product on 10 x 10 tiles, into its own c, against the
// reference; true when it agrees.
bool threaded_product_agrees(unsigned seed) {
  std::mt19937 gen(seed);
  const auto a = test::spread_values(gen, 90 * 50);
  const auto b = test::spread_values(gen, 50 * 70);
  std::vector<float> want(90 * 70), got(90 * 70);
  kernels::reference_kernels().prod_mat(a.data(), b.data(), want.data(), 90, 50, 70);
  kernels::prod_mat(a.data(), b.data(), got.data(), 90, 50, 70);
  return test::same_bits(got, want);
}

TEST(ThreadPool, ACallFromInsideAShareRunsOnItsThread) {
  const count_scope scope(3);
  kernels::testing::set_tile_edge(10);
  std::vector<std::thread::id> outer(6), inner(6);
  std::vector<int> agrees(6);
  threads::parallel_for(6, [&](std::int32_t s) noexcept {
    const auto t = static_cast<std::size_t>(s);
    outer[t] = std::this_thread::get_id();
    agrees[t] = threaded_product_agrees(s) ? 1 : 0;
    threads::parallel_for(4, [&](std::int32_t) noexcept {
      if (inner[t] == std::thread::id{}) inner[t] = std::this_thread::get_id();
      EXPECT_EQ(std::this_thread::get_id(), outer[t]);
    });
  });
  for (std::size_t t = 0; t < 6; ++t) {
    EXPECT_EQ(agrees[t], 1) << "share " << t;
    EXPECT_EQ(inner[t], outer[t]) << "share " << t;
  }
}

TEST(ThreadPool, SeveralCallersAtOnceEachGetTheirResults) {
  const count_scope scope(2);
  kernels::testing::set_tile_edge(10);
  std::vector<int> agrees(4);
  std::vector<std::thread> callers;
  for (std::size_t t = 0; t < agrees.size(); ++t) {
    callers.emplace_back([&agrees, t] {
      bool all = true;
      for (unsigned r = 0; r < 20; ++r) all = threaded_product_agrees(static_cast<unsigned>(t * 100 + r)) && all;
      agrees[t] = all ? 1 : 0;
    });
  }
  for (auto& c : callers) c.join();
  for (std::size_t t = 0; t < agrees.size(); ++t) EXPECT_EQ(agrees[t], 1) << "caller " << t;
}

TEST(ThreadPool, AChildAfterForkRunsThreadedProducts) {
  const count_scope scope(2);
  kernels::testing::set_tile_edge(10);
  ASSERT_TRUE(threaded_product_agrees(1));  // the parent's pool is running
  const auto child = test::run_in_child([] {
    alarm(60);  // a pool waiting for the parent's threads would hang
    if (!threaded_product_agrees(2) || !threaded_product_agrees(3)) std::_Exit(3);
  });
  EXPECT_EQ(child.exit_code, 0) << child.err;
  EXPECT_TRUE(threaded_product_agrees(4));
}

}  // namespace
}  // namespace orvik
