#pragma once
// How the library runs in this process.

#include <cstdint>

namespace orvik {

// The kernel table every operation uses: "avx512", "avx2", "neon" or
// "reference". It is chosen once per process, at the first call that needs
// it: the fastest instruction set with a fused multiply-add that the
// processor runs and the library was built for, unless the environment
// variable ORVIK_KERNELS is "reference" (every reference loop) or "avx2"
// (no AVX-512) at that moment. The results are the same bits whichever it is.
const char* kernels_in_use() noexcept;

// The threads the products and factorizations may use. Each splits only its
// outputs, on a grid fixed by the shape, and every output takes its terms in
// the same order on whichever thread computes it: the results are the same
// bits at every thread count.
//
// The count starts as the number of processors the process may run on (its
// CPU affinity mask), or as the environment variable ORVIK_NUM_THREADS when
// that holds a whole number from 1 up, read once, at the first call that
// needs it. set_num_threads(n) sets it for the whole process from then on
// (n < 1 goes back to the starting count); 1 keeps every operation on the
// calling thread.
void set_num_threads(std::int32_t n) noexcept;
std::int32_t num_threads() noexcept;

}  // namespace orvik
