// Vector reductions: dot product, norms and lengths, sum, product, extremes,
// counts and the exact equality tests.

#include <orvik/vector.hpp>

#include "common/through_double.hpp"
#include "common/wide_sum.hpp"
#include "kernels/kernels.hpp"
#include "maths/power.hpp"
#include "vector/vector_internal.hpp"

#include <cmath>
#include <limits>

namespace orvik {

namespace {

constexpr float largest_float = std::numeric_limits<float>::max();

// |x| to the integer power p by repeated multiplication in float, each
// product rounded; a negative p gives the reciprocal of the positive power.
float integer_power(float x, std::int32_t p) noexcept {
  // The count is kept unsigned so that the most negative p has a magnitude.
  const std::uint32_t count =
      p < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(p)) : static_cast<std::uint32_t>(p);
  float r = 1.0f;
  for (std::uint32_t k = 0; k < count; ++k) {
    // Rounded as r * x; through double, a subnormal x costs no more.
    const float next = detail::product_through_double(r, x);
    // Once a product no longer changes (0, 1, an infinity...) no later one
    // will, so a huge p does not cost a huge loop.
    if (next == r) break;
    // NaN never compares equal; it stays NaN however often it is multiplied.
    if (std::isnan(next)) {
      r = next;
      break;
    }
    r = next;
  }
  return p < 0 ? 1.0f / r : r;
}

}  // namespace

float v_dot(const t_vector& x, const t_vector& y) {
  if (!detail::is_allocated(x) || !detail::is_allocated(y)) detail::v_fail("v_dot::vector not allocated", 2001);
  // Refused rather than reading past the end of y.
  if (x.size != y.size) detail::v_fail("v_dot::vectors are not the same size", 202);
  return kernels::dot(x.elements.data(), y.elements.data(), x.size);
}

float detail::euclidean_norm(const float* x, std::int32_t n) noexcept {
  // integer_power(x, 2) is the rounded x * x.
  float s = 0.0f;
  for (std::int32_t i = 0; i < n; ++i) s = s + detail::product_through_double(x[i], x[i]);
  // The library's own s^(1/2): the square root, with pow's special cases.
  return detail::power_half(s);
}

float v_norm(const t_vector& v, std::optional<std::int32_t> p) {
  detail::v_require_allocated(v, "v_norm::vector not allocated");
  const std::int32_t power = p.value_or(2);
  if (power == 0) {
    // Starts from the most negative finite float, not from 0, so an empty
    // vector gives -3.4028235e38; a NaN never wins the comparison.
    float largest = -largest_float;
    for (std::int32_t i = 1; i <= v.size; ++i) {
      const float a = std::fabs(detail::at(v, i));
      if (a > largest) largest = a;
    }
    return largest;
  }
  if (power == 2) return detail::euclidean_norm(v.elements.data(), v.size);
  float s = 0.0f;
  for (std::int32_t i = 1; i <= v.size; ++i) s = s + integer_power(std::fabs(detail::at(v, i)), power);
  const float e = 1.0f / static_cast<float>(power);
  // Correctly rounded, so the same bits whatever the C library's powf does.
  return detail::correctly_rounded_pow(s, e);
}

float v_length(const t_vector& v) {
  detail::v_require_allocated(v, "v_length::vector not allocated");
  return std::sqrt(kernels::dot(v.elements.data(), v.elements.data(), v.size));
}

float v_sqrlength(const t_vector& v) {
  detail::v_require_allocated(v, "v_sqrLength::vector not allocated");
  return kernels::dot(v.elements.data(), v.elements.data(), v.size);
}

float v_sum(const t_vector& v) {
  detail::v_require_allocated(v, "v_sum::vector not allocated");
  detail::wide_sum s;
  for (std::int32_t i = 1; i <= v.size; ++i) s.add(detail::at(v, i));
  return s.value();
}

float v_prod(const t_vector& v) {
  detail::v_require_allocated(v, "v_prod::vector not allocated");
  float r = 1.0f;
  for (std::int32_t i = 1; i <= v.size; ++i) r = detail::at(v, i) * r;
  return r;
}

float v_abs(const t_vector& v) {
  detail::v_require_allocated(v, "v_abs::vector not allocated");
  return v.size > 0 ? std::fabs(detail::at(v, v.size)) : 0.0f;
}

float v_min(const t_vector& v) {
  detail::v_require_allocated(v, "v_min::vector not allocated");
  float smallest = largest_float;
  for (std::int32_t i = 1; i <= v.size; ++i) {
    if (detail::at(v, i) < smallest) smallest = detail::at(v, i);
  }
  return smallest;
}

float v_max(const t_vector& v) {
  detail::v_require_allocated(v, "v_max::vector not allocated");
  float largest = -largest_float;
  for (std::int32_t i = 1; i <= v.size; ++i) {
    if (detail::at(v, i) > largest) largest = detail::at(v, i);
  }
  return largest;
}

std::int32_t v_nbzeros(const t_vector& v) {
  detail::v_require_allocated(v, "v_nbzeros::vector not allocated");
  std::int32_t count = 0;
  for (std::int32_t i = 1; i <= v.size; ++i) count += detail::at(v, i) == 0.0f ? 1 : 0;
  return count;
}

std::int32_t v_nbpositive(const t_vector& v) {
  detail::v_require_allocated(v, "v_nbpositive::vector not allocated");
  std::int32_t count = 0;
  for (std::int32_t i = 1; i <= v.size; ++i) count += detail::at(v, i) > 0.0f ? 1 : 0;
  return count;
}

std::int32_t v_nbnegative(const t_vector& v) {
  detail::v_require_allocated(v, "v_nbnegative::vector not allocated");
  std::int32_t count = 0;
  for (std::int32_t i = 1; i <= v.size; ++i) count += detail::at(v, i) < 0.0f ? 1 : 0;
  return count;
}

bool v_isequal(const t_vector& x, const t_vector& y) {
  if (!detail::is_allocated(x) || !detail::is_allocated(y)) detail::v_fail("v_isEqual::vector not allocated", 2001);
  if (x.size != y.size) detail::v_fail("v_isEqual::vectors are not the same size", 202);
  // != is true for an unordered pair, so a NaN on either side is a difference.
  std::int32_t differences = 0;
  for (std::int32_t i = 1; i <= x.size; ++i) differences += detail::at(x, i) != detail::at(y, i) ? 1 : 0;
  return differences == 0;
}

bool v_isequal_scalar(const t_vector& v, float value) {
  detail::v_require_allocated(v, "v_isEqual_scalar::vector not allocated");
  std::int32_t differences = 0;
  for (std::int32_t i = 1; i <= v.size; ++i) differences += detail::at(v, i) != value ? 1 : 0;
  return differences == 0;
}

}  // namespace orvik
