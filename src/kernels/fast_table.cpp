// The fast kernels' tables, one per compiled target (the kernels themselves
// live in the files kernels.hpp lists), and the choice among them from the
// processor's feature flags.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels/fast_table.cpp"
#include "kernels/targets-inl.h"  // IWYU pragma: keep

#include "kernels/fast_kernels-inl.h"
#include "kernels/kernels.hpp"

#include <cstdlib>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

#if HWY_TARGET == HWY_AVX2
#define ORVIK_TARGET_NAME "avx2"
#elif HWY_TARGET == HWY_AVX3
#define ORVIK_TARGET_NAME "avx512"
#else
#define ORVIK_TARGET_NAME "neon"
#endif

const kernel_table* fused_table() noexcept {
  static constexpr kernel_table table{ORVIK_TARGET_NAME,
                                      prod_mat,
                                      prod_vec,
                                      prod_vec_left,
                                      dot,
                                      subtract_products,
                                      subtract_scaled,
                                      subtract_rounded_outer,
                                      deflate_rank_one,
                                      gemm_impl,
                                      lu,
                                      cholesky,
                                      gauss_jordan_inverse,
                                      gauss_jordan_det,
                                      gauss_jordan_rank,
                                      rotate_columns,
                                      symmetric_rank_two,
                                      rotate_eigenvectors,
                                      reflect_columns,
                                      reflect_rows,
                                      reflect_rows_sequence,
                                      reflect_columns_sequence,
                                      bidiagonal_sweep,
                                      tridiagonal_ql,
                                      accumulate_reflectors};
  return &table;
}
#undef ORVIK_TARGET_NAME

#else

// No fused multiply-add instruction on this target: never dispatched to.
const kernel_table* fused_table() noexcept { return nullptr; }

#endif

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvik::kernels {

// The best compiled target this processor runs, or null.
const kernel_table* fused_kernels() noexcept {
#if HWY_ARCH_X86 && defined(__GNUC__)
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("sse4.2") &&
                    __builtin_cpu_supports("popcnt");
#if HWY_TARGETS & HWY_AVX3
  // ORVIK_KERNELS=avx2 keeps an AVX-512 machine on the AVX2 kernels, so
  // that one machine can test both.
  const char* wanted = std::getenv("ORVIK_KERNELS");  // NOLINT(concurrency-mt-unsafe): read once, at the first call
  const bool avx2_only = wanted != nullptr && std::strcmp(wanted, "avx2") == 0;
  if (avx2 && !avx2_only && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw")) {
    return N_AVX3::fused_table();
  }
#endif
#if HWY_TARGETS & HWY_AVX2
  if (avx2) return N_AVX2::fused_table();
#endif
#elif HWY_ARCH_ARM_A64 && (HWY_TARGETS & HWY_NEON)
  // Advanced SIMD with fused multiply-add is part of every AArch64 core.
  return N_NEON::fused_table();
#endif
  return nullptr;
}

}  // namespace orvik::kernels
#endif
