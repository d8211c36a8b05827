// The pool behind parallel_for. One job at a time: the caller that finds the
// pool free publishes its shares, wakes as many workers as the thread count
// allows (workers stay awake a moment after a job, then sleep), takes shares itself until none is left, then closes the
// job to latecomers and waits only for the shares already running. A caller that finds the pool taken runs its own
// shares; so does a share that asks for more threads.

#include "threads/thread_pool.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#endif

namespace orvik::threads {
namespace {

std::atomic<std::uint32_t> shuffle_seed{0};

// The test mode's order: a permutation from a small fixed generator, and
// every share at a position divisible by three held back.
class share_order {
 public:
  share_order(std::int32_t shares, std::uint32_t seed) {
    if (seed == 0) return;
    order_.resize(static_cast<std::size_t>(shares));
    std::iota(order_.begin(), order_.end(), 0);
    std::uint32_t state = seed;
    for (std::size_t t = order_.size(); t > 1; --t) {
      state = state * 1664525u + 1013904223u;
      std::swap(order_[t - 1], order_[(state >> 8) % t]);
    }
  }
  void run(std::int32_t position, share_function call, void* context) const noexcept {
    if (order_.empty()) {
      call(context, position);
      return;
    }
    if (position % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    call(context, order_[static_cast<std::size_t>(position)]);
  }

 private:
  std::vector<std::int32_t> order_;
};

struct job {
  std::int32_t shares;
  share_function call;
  void* context;
  const share_order* order;
  std::atomic<std::int32_t> next{0};

  // Takes shares until none is left.
  void work() noexcept {
    for (std::int32_t s = next.fetch_add(1, std::memory_order_relaxed); s < shares;
         s = next.fetch_add(1, std::memory_order_relaxed)) {
      order->run(s, call, context);
    }
  }
};

// Set on the pool's workers and on a caller while it takes its own shares.
thread_local bool inside_share = false;

class pool {
 public:
  pool() = default;
  pool(const pool&) = delete;
  pool& operator=(const pool&) = delete;

  // False when another caller has the pool.
  bool try_run(job& j, std::int32_t helpers) noexcept {
    if (busy_.exchange(1U, std::memory_order_acquire) != 0U) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      start_workers(helpers);
      current_ = &j;
      ++generation_;
      published_.store(generation_, std::memory_order_release);
      wanted_ = helpers;
      joined_ = 0;
    }
    wake_.notify_all();
    inside_share = true;
    j.work();
    inside_share = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      current_ = nullptr;
      done_.wait(lock, [&] { return running_ == 0; });
    }
    busy_.store(0U, std::memory_order_release);
    return true;
  }

  // The pool of a process that forked keeps the parent's record, whose
  // threads the child does not have: the child drops it (never destroying
  // it, since its mutex may be held by a thread that is gone).
  pool* retired_next = nullptr;

 private:
  // Called with the mutex held. Threads that cannot be started leave the
  // work to those that are.
  void start_workers(std::int32_t wanted) noexcept {
    while (static_cast<std::int32_t>(workers_.size()) < wanted) {
      try {
        workers_.emplace_back([this] { serve(); });
      } catch (...) {
        return;
      }
    }
  }

  void serve() noexcept {
    inside_share = true;
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      // Awake a moment longer before sleeping: the next call of a run of
      // them (a factorization's updates, a loop of products) then finds the
      // worker without waiting for the system to wake it.
      lock.unlock();
      const auto until = std::chrono::steady_clock::now() + kStayAwake;
      while (published_.load(std::memory_order_acquire) == seen && std::chrono::steady_clock::now() < until) {
        relax();
      }
      lock.lock();
      wake_.wait(lock, [&] { return current_ != nullptr && generation_ != seen && joined_ < wanted_; });
      seen = generation_;
      ++joined_;
      ++running_;
      job* j = current_;
      lock.unlock();
      j->work();
      lock.lock();
      if (--running_ == 0) done_.notify_one();
    }
  }

  static constexpr std::chrono::microseconds kStayAwake{100};

  static void relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  }

  // A word, not a bool: a one-byte exchange needs libatomic on some targets
  // (riscv64).
  std::atomic<std::uint32_t> busy_{0U};
  // generation_, for the workers that are still awake.
  std::atomic<std::uint64_t> published_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> workers_;
  job* current_ = nullptr;
  std::uint64_t generation_ = 0;
  std::int32_t wanted_ = 0;
  std::int32_t joined_ = 0;
  std::int32_t running_ = 0;
};

// Never destroyed: its workers sleep until the process ends.
std::atomic<pool*> the_pool{nullptr};
pool* retired = nullptr;

void after_fork_in_child() noexcept {
  pool* p = the_pool.load(std::memory_order_relaxed);
  if (p == nullptr) return;
  p->retired_next = retired;
  retired = p;
  the_pool.store(nullptr, std::memory_order_relaxed);
}

pool& get_pool() {
  pool* p = the_pool.load(std::memory_order_acquire);
  if (p != nullptr) return *p;
#if defined(__unix__) || defined(__APPLE__)
  static const bool registered = pthread_atfork(nullptr, nullptr, after_fork_in_child) == 0;
  static_cast<void>(registered);
#endif
  auto* fresh = new pool;
  if (the_pool.compare_exchange_strong(p, fresh, std::memory_order_acq_rel)) return *fresh;
  delete fresh;
  return *p;
}

}  // namespace

void run_shares(std::int32_t shares, share_function call, void* context) noexcept {
  if (shares <= 0) return;
  const share_order order(shares, shuffle_seed.load(std::memory_order_relaxed));
  job j{shares, call, context, &order};
  const std::int32_t helpers = std::min(count(), shares) - 1;
  if (helpers > 0 && !inside_share) {
    try {
      if (get_pool().try_run(j, helpers)) return;
    } catch (...) {
      // No pool to be had: the shares run here.
    }
  }
  j.work();
}

namespace testing {

void shuffle_shares(std::uint32_t seed) noexcept { shuffle_seed.store(seed, std::memory_order_relaxed); }

}  // namespace testing

}  // namespace orvik::threads
