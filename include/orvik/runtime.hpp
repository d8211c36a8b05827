#pragma once
// How the library runs in this process.

namespace orvik {

// The kernel table every operation uses: "avx512", "avx2", "neon" or
// "reference". It is chosen once per process, at the first call that needs
// it: the fastest instruction set with a fused multiply-add that the
// processor runs and the library was built for, unless the environment
// variable ORVIK_KERNELS is "reference" (every reference loop) or "avx2"
// (no AVX-512) at that moment. The results are the same bits whichever it is.
const char* kernels_in_use() noexcept;

}  // namespace orvik
