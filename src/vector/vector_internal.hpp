#pragma once
// Helpers shared by the files of the vector module.

#include <orvik/exception.hpp>
#include <orvik/vector.hpp>

#include "exception/fail.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvik::detail {

// Reports through v_what_exception.
[[noreturn]] inline void v_fail(std::string_view message, std::int32_t number) {
  fail(v_what_exception, message, number);
}

// The "vector not allocated" family of checks, error 2001.
inline void v_require_allocated(const t_vector& v, std::string_view message) {
  if (!v.allocated) v_fail(message, 2001);
}

// Element i, 1-based, without checks.
inline float& at(t_vector& v, std::int32_t i) { return v.elements[static_cast<std::size_t>(i - 1)]; }
inline float at(const t_vector& v, std::int32_t i) { return v.elements[static_cast<std::size_t>(i - 1)]; }

}  // namespace orvik::detail
