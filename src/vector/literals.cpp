// A vector written out in the source.

#include <orvik/vector.hpp>

#include "vector/vector_internal.hpp"

#include <algorithm>
#include <cstdint>

namespace orvik {

t_vector v_fromvalues(std::initializer_list<float> values) {
  if (values.size() == 0) detail::v_fail("v_fromvalues::positive size expected", 201);
  t_vector result;
  // Through v_init, after the check: a refused literal leaves the
  // remembered size alone. A list written in the source is far below the
  // int32 range.
  v_init(result, static_cast<std::int32_t>(values.size()));
  std::copy(values.begin(), values.end(), result.elements.begin());
  return result;
}

}  // namespace orvik
