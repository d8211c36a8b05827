// The power method for the eigenvalue of largest magnitude. The iterate, the
// product and the residual live in buffers made once per call; each pass
// rounds where the vector operations it is written with would store.

#include <orvik/decompositions.hpp>
#include <orvik/maths.hpp>

#include "kernels/kernels.hpp"
#include "matrix/decompositions/decompositions_internal.hpp"
#include "matrix/decompositions/repeat_watch.hpp"
#include "matrix/matrix_internal.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace orvik {
namespace {

// The entry y is scaled by: the first one of largest magnitude among the
// numbers. When that largest magnitude is zero but some entry is not a
// number, or no entry is a number, it is the first entry that is not a
// number, so the NaN spreads instead of the vector passing for zero.
std::int32_t scaling_index(const t_vector& y) {
  std::int32_t k = 0;
  std::int32_t first_nan = 0;
  for (std::int32_t i = 1; i <= y.size; ++i) {
    const float v = detail::at(y, i);
    if (std::isnan(v)) {
      if (first_nan == 0) first_nan = i;
    } else if (k == 0 || std::fabs(v) > std::fabs(detail::at(y, k))) {
      k = i;
    }
  }
  if (first_nan != 0 && (k == 0 || detail::at(y, k) == 0.0f)) k = first_nan;
  return k;
}

// x scaled in place so that its first entry of largest magnitude is +1; a
// zero x is left as it is.
void unit_peak(t_vector& x) {
  const float peak = detail::at(x, scaling_index(x));
  if (peak == 0.0f) return;
  for (float& e : x.elements) e = e / peak;
}

// x = y / value, each quotient rounded, as v_div_scalar stores it.
void divide_into(t_vector& x, const t_vector& y, float value) {
  for (std::size_t i = 0; i < y.elements.size(); ++i) x.elements[i] = y.elements[i] / value;
}

// The largest |A x - y|, each difference rounded, as v_norm(r, 0) finds it
// from the most negative float (a NaN never wins). The largest of a set does
// not depend on the order it is searched in, so eight running maxima share
// the entries and are merged at the end.
float largest_change(const float* ax, const float* y, std::int32_t n) {
  constexpr std::int32_t lanes = 8;
  std::array<float, lanes> e{};
  e.fill(-std::numeric_limits<float>::max());
  std::int32_t i = 0;
  for (; i + lanes <= n; i += lanes) {
    for (std::int32_t l = 0; l < lanes; ++l) {
      const float d = std::fabs(ax[i + l] - y[i + l]);
      e[static_cast<std::size_t>(l)] = d > e[static_cast<std::size_t>(l)] ? d : e[static_cast<std::size_t>(l)];
    }
  }
  for (; i < n; ++i) {
    const float d = std::fabs(ax[i] - y[i]);
    if (d > e[0]) e[0] = d;
  }
  float largest = e[0];
  for (std::size_t l = 1; l < lanes; ++l) {
    if (e[l] > largest) largest = e[l];
  }
  return largest;
}

// The float iterate can fall into an exact cycle a few roundings wide, whose
// residual stays above an absolute tol once |lambda| is of order 1: the
// iteration would then run to the pass limit for nothing. Brent's method
// spots the repeat at the cost of one comparison per pass; a cycle whose
// residuals are all at rounding level for A counts as converged.
class cycle_watch {
 public:
  cycle_watch(const t_matrix& a, const t_vector& x0) : repeat_(x0.elements, "m_pow_eig::allocate error") {
    // 2^-16 * ||A||_inf: far above the few ulps such a cycle wobbles by, far
    // below any residual of an iteration that has not settled.
    float largest = 0.0f;
    for (std::int32_t i = 1; i <= a.rows; ++i) {
      float s = 0.0f;
      for (std::int32_t j = 1; j <= a.cols; ++j) s = s + std::fabs(detail::at(a, i, j));
      largest = std::fmax(largest, s);
    }
    bound_ = std::ldexp(largest, -16);
  }

  // Called after a pass whose residual failed the test; true when x closes
  // a cycle whose residuals over one period are all within the bound.
  bool settled(const t_vector& x, const std::vector<float>& residuals) {
    if (done_ || !repeat_.repeats(x.elements)) return false;
    // A cycle that is not at rounding level will not become one: stop looking.
    done_ = true;
    const auto period = static_cast<std::ptrdiff_t>(repeat_.period());
    return std::all_of(residuals.end() - period, residuals.end(), [this](float e) { return e <= bound_; });
  }

 private:
  detail::repeat_watch repeat_;
  float bound_ = 0.0f;
  bool done_ = false;
};

}  // namespace

std::optional<t_poweig> detail::try_pow_eig(const t_matrix& a, const std::optional<t_vector>& x0,
                                            std::optional<float> tol, std::optional<std::int32_t> maxiter) {
  detail::m_require_allocated(a, "m_pow_eig::matrix not allocated");
  if (a.rows != a.cols) detail::m_fail("m_pow_eig:: square matrix expected", 202);
  const std::int32_t n = a.rows;
  t_vector x;
  if (x0) {
    x = detail::checked_copy(*x0, "m_pow_eig::allocate error");
  } else {
    v_init(x, n);
    v_affect(x, 1.0f);
  }
  const float tolerance = tol ? *tol : math_machine_eps();
  const std::int32_t limit = maxiter ? *maxiter : 100 * std::max(a.rows, a.cols);

  std::vector<float> residuals;
  bool converged = false;
  float eigval = 0.0f;
  std::int32_t p = 1;

  // Scaling by the signed entry makes that entry of x +1, so a negative
  // dominant eigenvalue settles like a positive one and eigval keeps its
  // sign. A zero product means x is an eigenvector for 0: the iteration ends
  // there, that pass recorded with residual 0 (the initial step counting as
  // pass 1).
  // The first product makes y (and checks a given x0's size); every later
  // product, quotient and residual goes through y, x and ax in place.
  t_vector y = m_prod_vec_c(a, x);
  std::vector<float> ax = detail::work_buffer(n, "m_pow_eig::allocate error");
  const auto product = [&](const t_vector& v, float* into) {
    kernels::prod_vec(a.elements.data(), v.elements.data(), into, n, n);
  };
  std::int32_t k = scaling_index(y);
  if (detail::at(y, k) == 0.0f) {
    unit_peak(x);
    detail::checked_append(residuals, 0.0f, "m_pow_eig::allocate error");
    converged = true;
    p = 2;
  } else {
    eigval = detail::at(y, k);
    divide_into(x, y, eigval);
  }
  cycle_watch watch(a, x);
  while (p < limit && !converged) {
    product(x, y.elements.data());
    k = scaling_index(y);
    if (detail::at(y, k) == 0.0f) {
      unit_peak(x);
      eigval = 0.0f;
      detail::checked_append(residuals, 0.0f, "m_pow_eig::allocate error");
      converged = true;
    } else {
      eigval = detail::at(y, k);
      divide_into(x, y, eigval);
      product(x, ax.data());
      const float e = largest_change(ax.data(), y.elements.data(), n);
      detail::checked_append(residuals, e, "m_pow_eig::allocate error");
      // Only a residual above tol goes on, so a NaN residual ends as converged.
      if (!(e > tolerance) || watch.settled(x, residuals)) converged = true;
    }
    ++p;
  }

  t_poweig result;
  result.eigval = eigval;
  result.eigvec = std::move(x);
  result.nb_iter = p - 1;
  v_init(result.errors, result.nb_iter);
  std::copy(residuals.begin(), residuals.end(), result.errors.elements.begin());
  if (!converged) return std::nullopt;
  return result;
}

t_poweig m_pow_eig(const t_matrix& a, const std::optional<t_vector>& x0, std::optional<float> tol,
                   std::optional<std::int32_t> maxiter) {
  std::optional<t_poweig> result = detail::try_pow_eig(a, x0, tol, maxiter);
  if (!result) detail::m_fail(detail::pow_eig_diverge, 301);
  return std::move(*result);
}

}  // namespace orvik
