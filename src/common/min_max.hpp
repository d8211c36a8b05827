#pragma once
// fmax's and fmin's results (a NaN loses to a number; of equal numbers, the
// first), written out for loops that take one per entry: no library call,
// and a form the compiler makes a max / min instruction of rather than
// branches that the data decide.

#include <cmath>

namespace orvik::detail {

inline float max_of(float x, float y) { return std::isnan(x) ? y : (y > x ? y : x); }
inline float min_of(float x, float y) { return std::isnan(x) ? y : (y < x ? y : x); }

}  // namespace orvik::detail
