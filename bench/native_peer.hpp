#pragma once
// What the benchmarks against OpenBLAS share: the peer on its own kernels,
// the header line naming both sides' kernels, and the timing loop.
//
// The benchmarks measure OpenBLAS on its own kernels. Some machines set
// OPENBLAS_CORETYPE (and OPENBLAS_L2_SIZE) to hold old OpenBLAS builds to
// their AVX2 kernels; OpenBLAS reads them when it is loaded, before main, so
// a benchmark that finds either set starts itself again without both. Only
// the benchmark's own process is affected: tests and CI keep the environment
// they are given.

#include <orvik/runtime.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

extern "C" {
char* openblas_get_corename();
void openblas_set_num_threads(int num_threads);
}

namespace orvik_bench {

// Call first in main; returns only once the peer runs natively.
inline void run_peer_natively(char** argv) {
  // NOLINTBEGIN(concurrency-mt-unsafe): no other thread runs yet
  if (std::getenv("OPENBLAS_CORETYPE") == nullptr && std::getenv("OPENBLAS_L2_SIZE") == nullptr) return;
  unsetenv("OPENBLAS_CORETYPE");
  unsetenv("OPENBLAS_L2_SIZE");
  // NOLINTEND(concurrency-mt-unsafe)
  execv("/proc/self/exe", argv);
  std::perror("execv /proc/self/exe (the benchmark goes on with the peer held to the environment's core)");
}

// The header line every table starts with: which kernels each side runs.
inline void print_kernels() {
  std::printf("orvik kernels: %s; OpenBLAS core: %s\n", orvik::kernels_in_use(), openblas_get_corename());
}

// Best time of one call of `run` in seconds, `prepare` run untimed before
// each: at least three runs and about `budget` seconds in all.
inline double best_time(const std::function<void()>& prepare, const std::function<void()>& run, double budget) {
  using clock_type = std::chrono::steady_clock;
  double best = 1e30;
  double spent = 0.0;
  for (int rep = 0; rep < 3 || spent < budget; ++rep) {
    prepare();
    const auto start = clock_type::now();
    run();
    const double t = std::chrono::duration<double>(clock_type::now() - start).count();
    best = std::min(best, t);
    spent += t;
    if (rep > 2000) break;
  }
  return best;
}

inline double best_time(const std::function<void()>& run, double budget) {
  return best_time([] {}, run, budget);
}

}  // namespace orvik_bench
