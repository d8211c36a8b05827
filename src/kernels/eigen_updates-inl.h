// The fast eigenvalue updates of eigen_updates.cpp, declared for the
// per-target tables of fused.cpp (included once per target, Highway's
// per-target header pattern: the guard flips with each target).

#if defined(ORVIK_KERNELS_EIGEN_UPDATES_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_EIGEN_UPDATES_INL_H_
#undef ORVIK_KERNELS_EIGEN_UPDATES_INL_H_
#else
#define ORVIK_KERNELS_EIGEN_UPDATES_INL_H_
#endif

#include <hwy/highway.h>

#include <cstddef>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if HWY_NATIVE_FMA && (HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_NEON)
void symmetric_rank_two(float* a, std::ptrdiff_t lda, std::int32_t m, const float* v, const float* w) noexcept;
void rotate_eigenvectors(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                         const float* s, bool forward) noexcept;
void reflect_columns(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t nr, const float* f) noexcept;
void reflect_rows(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t nr, const float* f) noexcept;
#endif

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif
