// The fast kernels of every target, declared once for the files that call
// across families (the factorizations call the product) and for the
// per-target tables of fast_table.cpp. Each is defined in one kernel file
// of this folder (kernels.hpp says which); included after targets-inl.h,
// once per target (the guard flips with each target).

#if defined(ORVIK_KERNELS_FAST_KERNELS_INL_H_) == defined(HWY_TARGET_TOGGLE)  // NOLINT
#ifdef ORVIK_KERNELS_FAST_KERNELS_INL_H_
#undef ORVIK_KERNELS_FAST_KERNELS_INL_H_
#else
#define ORVIK_KERNELS_FAST_KERNELS_INL_H_
#endif

#include <hwy/highway.h>

#include "kernels/kernels.hpp"

#include <cstddef>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace orvik::kernels::HWY_NAMESPACE {

#if ORVIK_FAST_TARGET

// product_blocked.cpp
void gemm_impl(std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c, std::ptrdiff_t ldc,
               gemm_mode mode) noexcept;
void prod_mat(const float* a, const float* b, float* c, std::int32_t m, std::int32_t p, std::int32_t n) noexcept;

// product_small.cpp: the products gemm_impl takes without packing (one
// column, or at most two vectors of rows); false when the shape is not one
// of them, nothing of c touched.
bool small_product(std::size_t m, std::size_t n, std::size_t k, operand a, operand b, float* c, std::ptrdiff_t ldc,
                   gemm_mode mode);

// matrix_vector.cpp
void prod_vec(const float* a, const float* x, float* y, std::int32_t rows, std::int32_t cols) noexcept;
void prod_vec_left(const float* x, const float* a, std::ptrdiff_t lda, float* y, std::int32_t rows,
                   std::int32_t cols) noexcept;

// vector_steps.cpp
float dot(float s, const float* x, const float* y, std::int32_t n) noexcept;
float subtract_products(float s, const float* x, std::ptrdiff_t x_stride, const float* y, std::ptrdiff_t y_stride,
                        std::int32_t count) noexcept;
void subtract_scaled(float* y, std::ptrdiff_t y_stride, float f, const float* x, std::ptrdiff_t x_stride,
                     std::int32_t count) noexcept;
void subtract_rounded_outer(float* y, std::ptrdiff_t ld, const float* c, const float* x, std::int32_t n,
                            std::int32_t count) noexcept;
void deflate_rank_one(float* b, std::int32_t n, float factor, const float* v) noexcept;

// lu_cholesky.cpp
void lu(float* a, std::int32_t rows, std::int32_t cols) noexcept;
bool cholesky(float* w, std::int32_t n, float eps) noexcept;

// gauss_jordan.cpp
bool gauss_jordan_inverse(float* t, float* x, std::int32_t n, float eps) noexcept;
float gauss_jordan_det(float* t, std::int32_t n, float eps) noexcept;
std::int32_t gauss_jordan_rank(float* t, std::int32_t rows, std::int32_t cols, float eps) noexcept;

// rotations.cpp
void rotate_columns(float* a, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count, const float* c, const float* s,
                    bool backward) noexcept;
std::int32_t bidiagonal_sweep(float* d, float* e, std::int32_t count, float shift, bool downwards, float* lc, float* ls,
                              float* rc, float* rs, float tol, float* minima) noexcept;

// eigen_updates.cpp
void symmetric_rank_two(float* a, std::ptrdiff_t lda, std::int32_t m, const float* v, const float* w) noexcept;
void rotate_eigenvectors(float* z, std::ptrdiff_t ldz, std::int32_t rows, std::int32_t count, const float* c,
                         const float* s, bool forward) noexcept;
void reflect_columns(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t nr, const float* f) noexcept;
void reflect_rows(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t nr, const float* f) noexcept;
void reflect_rows_sequence(float* x, std::ptrdiff_t ld, std::int32_t cols, std::int32_t count, const float* f) noexcept;
void reflect_columns_sequence(float* x, std::ptrdiff_t ld, std::int32_t rows, std::int32_t count,
                              const float* f) noexcept;
bool tridiagonal_ql(float* d, float* e, std::int32_t n, float* z, float* cw, float* sw,
                    std::int32_t max_sweeps) noexcept;
void accumulate_reflectors(float* y, std::int32_t n, const float* v, const float* tau, std::int32_t count) noexcept;

#endif  // ORVIK_FAST_TARGET

}  // namespace orvik::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // ORVIK_KERNELS_FAST_KERNELS_INL_H_
