#pragma once
// Helpers shared by the files of the vector module.

#include <orvik/exception.hpp>
#include <orvik/vector.hpp>

#include "common/storage.hpp"
#include "exception/fail.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvik::detail {

// Reports through v_what_exception.
[[noreturn]] inline void v_fail(std::string_view message, std::int32_t number) {
  fail(v_what_exception, message, number);
}

// Marked allocated, with storage that holds the `size` values it promises (a
// record edited by hand may claim more than it holds).
inline bool is_allocated(const t_vector& v) noexcept { return v.allocated && holds_elements(v.elements, v.size); }

// The "vector not allocated" family of checks, error 2001.
inline void v_require_allocated(const t_vector& v, std::string_view message) {
  if (!is_allocated(v)) v_fail(message, 2001);
}

// The remembered size of v_init, for the routines that work in place on
// their own buffers: they leave what the temporary vectors the operations
// are written with would have left. No check is made.
void v_remember_init_size(std::int32_t n) noexcept;

// v_norm(v, 2) of the n values at x: the rounded squares summed in order
// from 0, then sum^(1/2) by detail::power_half: the correctly rounded square
// root, with pow's special cases (a NaN sum gives NaN).
float euclidean_norm(const float* x, std::int32_t n) noexcept;

// Element i, 1-based, without checks.
inline float& at(t_vector& v, std::int32_t i) { return v.elements[static_cast<std::size_t>(i - 1)]; }
inline float at(const t_vector& v, std::int32_t i) { return v.elements[static_cast<std::size_t>(i - 1)]; }

}  // namespace orvik::detail
