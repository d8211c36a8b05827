// How many threads the library's operations may use.

#include "threads/thread_pool.hpp"

#include <orvik/runtime.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace orvik::threads {
namespace {

// More than any machine the library is meant for; a bound keeps a mistyped
// count from starting thousands of threads.
constexpr std::int32_t kMaxThreads = 256;

// The processors this process may run on: its affinity mask where the
// system has one (taskset, cgroups and container limits narrow it), the
// hardware's count otherwise.
std::int32_t processors() noexcept {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
  return static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

// ORVIK_NUM_THREADS when it is a whole number from 1 up, else the
// processors.
std::int32_t starting_count() noexcept {
  const char* text = std::getenv("ORVIK_NUM_THREADS");  // NOLINT(concurrency-mt-unsafe): read once, at the first call
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long wanted = std::strtol(text, &end, 10);
    if (*end == '\0' && wanted >= 1) return static_cast<std::int32_t>(std::min<long>(wanted, kMaxThreads));
  }
  return std::min(processors(), kMaxThreads);
}

// 0 while set_num_threads has not chosen a count.
std::atomic<std::int32_t> chosen{0};

}  // namespace

std::int32_t count() noexcept {
  static const std::int32_t start = starting_count();
  const std::int32_t c = chosen.load(std::memory_order_relaxed);
  return c > 0 ? c : start;
}

}  // namespace orvik::threads

void orvik::set_num_threads(std::int32_t n) noexcept {
  threads::chosen.store(n >= 1 ? std::min(n, threads::kMaxThreads) : 0, std::memory_order_relaxed);
}

std::int32_t orvik::num_threads() noexcept { return threads::count(); }
