#pragma once
// The benchmarks measure OpenBLAS on its own kernels. Some machines set
// OPENBLAS_CORETYPE (and OPENBLAS_L2_SIZE) to hold old OpenBLAS builds to
// their AVX2 kernels; OpenBLAS reads them when it is loaded, before main, so
// a benchmark that finds either set starts itself again without both. Only
// the benchmark's own process is affected: tests and CI keep the environment
// they are given.

#include <orvik/runtime.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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

}  // namespace orvik_bench
