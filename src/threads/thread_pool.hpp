#pragma once
// The library's own threads. A pool, started on first use, whose workers
// sleep while there is nothing to do; work reaches it as the shares of a
// grid the caller has fixed, each share writing outputs of its own, so
// which thread runs a share, and when, never changes a result.
//
// A call runs on the calling thread alone when threading is off
// (num_threads() is 1), when it is made from inside a share (a worker's or
// the caller's own), or when another caller has the pool: the machine is
// never oversubscribed, and no caller waits for another's work. A child
// process made by fork() starts a pool of its own when it next needs one.

#include <cstdint>
#include <type_traits>

namespace orvik::threads {

// The thread count in force: orvik::num_threads().
std::int32_t count() noexcept;

using share_function = void (*)(void* context, std::int32_t share) noexcept;

// Runs call(context, s) for s = 0 .. shares-1, each exactly once, and
// returns when every one has finished. The caller takes shares too.
void run_shares(std::int32_t shares, share_function call, void* context) noexcept;

template <class F>
void parallel_for(std::int32_t shares, F&& fn) noexcept {
  using function = std::remove_reference_t<F>;
  run_shares(
      shares, [](void* f, std::int32_t s) noexcept { (*static_cast<function*>(f))(s); },
      const_cast<void*>(static_cast<const void*>(&fn)));
}

namespace testing {

// Hands the shares out in an order shuffled by `seed`, and holds back about
// one in three of them for a moment before it runs; 0 restores the plain
// order. For the tests that show results do not depend on the order.
void shuffle_shares(std::uint32_t seed) noexcept;

}  // namespace testing

}  // namespace orvik::threads
