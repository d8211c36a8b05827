#pragma once
// The optimised versions of the kernels, each returning exactly the bits of
// its reference loop (reference.cpp).

#include <cstddef>
#include <cstdint>

// Where the processor has a fused multiply-add instruction, a clone of each
// loop uses it directly instead of calling the C library's fmaf; the result
// is the same, since a fused multiply-add has exactly one rounding either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define ORVIK_FMA_CLONES __attribute__((target_clones("fma", "default")))
#else
#define ORVIK_FMA_CLONES
#endif

namespace orvik::kernels {

void fast_prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept;
void fast_prod_vec(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept;
void fast_prod_vec_left(const float* x, const float* a, float* y, std::int32_t rows, std::int32_t cols) noexcept;
float fast_dot(const float* x, const float* y, std::int32_t n) noexcept;
float fast_subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                             std::int32_t count) noexcept;
void fast_subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                          std::int32_t count) noexcept;
void fast_deflate_rank_one(float* b, std::int32_t n, float factor, const float* v) noexcept;

}  // namespace orvik::kernels
