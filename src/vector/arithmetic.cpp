// Vector arithmetic: elementwise results, the linear combination, the cross
// product and normalisation in place.

#include <orvik/vector.hpp>

#include "vector/vector_internal.hpp"

namespace orvik {
namespace {

// The checks shared by the two-vector elementwise operations, in their order.
void require_pair(const t_vector& x, const t_vector& y, std::string_view not_allocated, std::string_view not_same) {
  if (!detail::is_allocated(x) || !detail::is_allocated(y)) detail::v_fail(not_allocated, 2001);
  if (x.size != y.size) detail::v_fail(not_same, 202);
}

// result(i) = op(i) for a result made through v_init with the size of `x`,
// so the remembered size of v_init follows every result.
template <class Op>
t_vector make_elementwise(const t_vector& x, Op op) {
  t_vector result;
  v_init(result, x.size);
  for (std::int32_t i = 1; i <= x.size; ++i) detail::at(result, i) = op(i);
  return result;
}

}  // namespace

t_vector v_add(const t_vector& x, const t_vector& y) {
  require_pair(x, y, "v_add::vector not allocated", "v_add::vectors are not the same size");
  return make_elementwise(x, [&](std::int32_t i) { return detail::at(x, i) + detail::at(y, i); });
}

t_vector v_minus(const t_vector& x, const t_vector& y) {
  require_pair(x, y, "v_minus::vector not allocated", "v_minus::vectors are not the same size");
  return make_elementwise(x, [&](std::int32_t i) { return detail::at(x, i) - detail::at(y, i); });
}

t_vector v_prod_vec(const t_vector& x, const t_vector& y) {
  require_pair(x, y, "v_prod_vec::vector not allocated", "v_prod_vec::vector must have the same size");
  return make_elementwise(x, [&](std::int32_t i) { return detail::at(x, i) * detail::at(y, i); });
}

t_vector v_prod_scalar1(const t_vector& v, float value) {
  detail::v_require_allocated(v, "v_prod_scalar1::vector not allocated");
  return make_elementwise(v, [&](std::int32_t i) { return value * detail::at(v, i); });
}

t_vector v_prod_scalar2(float value, const t_vector& v) {
  detail::v_require_allocated(v, "v_prod_scalar2::vector not allocated");
  return make_elementwise(v, [&](std::int32_t i) { return value * detail::at(v, i); });
}

t_vector v_div_scalar(const t_vector& v, float value) {
  detail::v_require_allocated(v, "v_div_scalar::vector not allocated");
  // -0.0 compares equal to 0.0 and is refused too; a NaN divisor is not.
  if (value == 0.0f) detail::v_fail("v_div_scalar::can not divide by zero", 101);
  return make_elementwise(v, [&](std::int32_t i) { return detail::at(v, i) / value; });
}

t_vector v_inverse(const t_vector& v) {
  detail::v_require_allocated(v, "v_inverse::vector not allocated");
  if (v_nbzeros(v) != 0) detail::v_fail("v_inverse::one of vector element is null", 2001);
  return make_elementwise(v, [&](std::int32_t i) { return 1.0f / detail::at(v, i); });
}

t_vector v_axpby(float a, const t_vector& x, std::optional<float> b, const std::optional<t_vector>& y) {
  detail::v_require_allocated(x, "v_axpby::vector not allocated");
  if (!y) return v_prod_scalar2(a, x);
  // A given y is always used; an omitted b weighs it by 1.0.
  if (!detail::is_allocated(*y)) detail::v_fail("v_axpby::vector not allocated", 2001);
  if (x.size != y->size) detail::v_fail("v_axpby::vector must have the same size", 202);
  t_vector ax = v_prod_scalar2(a, x);
  t_vector by = v_prod_scalar2(b.value_or(1.0f), *y);
  t_vector result = v_add(ax, by);
  v_destruct(ax);
  v_destruct(by);
  return result;
}

t_vector v_cross(const t_vector& x, const t_vector& y) {
  if (!detail::is_allocated(x) || !detail::is_allocated(y)) detail::v_fail("v_cross::vector not allocated", 2001);
  if (x.size != y.size || x.size != 3) {
    detail::v_fail("v_cross::vectors have not the same size or are not 3-dimensional vectors", 202);
  }
  // Made without v_init: the remembered size stays where it was.
  t_vector result = v_zeros(3);
  // Each product is rounded, then the difference: no fused step here.
  const auto term = [&](std::int32_t a, std::int32_t b) {
    const float left = detail::at(x, a) * detail::at(y, b);
    const float right = detail::at(x, b) * detail::at(y, a);
    return left - right;
  };
  detail::at(result, 1) = term(2, 3);
  detail::at(result, 2) = term(3, 1);
  detail::at(result, 3) = term(1, 2);
  return result;
}

void v_normalize(t_vector& v) {
  detail::v_require_allocated(v, "v_normalize::vector not allocated");
  // A zero length is divided by all the same: 0/0 gives NaN, as IEEE says.
  const float length = v_length(v);
  for (std::int32_t i = 1; i <= v.size; ++i) detail::at(v, i) = detail::at(v, i) / length;
}

}  // namespace orvik
