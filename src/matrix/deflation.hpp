#pragma once
// The rank-one correction of the deflation method, kept on its own so that a
// test can compare it bit for bit with a plain loop.

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

namespace orvik::detail {

// B(k, j) = B(k, j) - factor * (v(k) * v(j)) for every k, j, the inner
// product rounded first and the update one fused step.
void deflate_rank_one(t_matrix& b, float factor, const t_vector& v);

}  // namespace orvik::detail
