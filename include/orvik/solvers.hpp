#pragma once
// QR (Householder and Gram-Schmidt), singular value decomposition,
// eigenvalues, the determinant, rank and pseudo-inverse front ends, and the
// printing of factorization results.

#include <orvik/decompositions.hpp>

namespace orvik {

// (declared below by topic)

}  // namespace orvik
