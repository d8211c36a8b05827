// Every check of pivoting, LU, Cholesky, Gauss-Jordan, power iteration,
// norms, condition number and trace: the exact error line on standard output
// and exit status 1, and the same numbers in-process under raising_scope.

#include "support/child.hpp"
#include "support/generators.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::stop_case;

using f1::rows_of;
using f1::vector_of;

const t_matrix fresh{};
const t_matrix m23 = rows_of({{1, 2, 3}, {4, 5, 6}});
const float eps = std::ldexp(1.0f, -24);
const float nan = std::numeric_limits<float>::quiet_NaN();

TEST(F1Stops, PivotingAndLu) {
  test::expect_stops_and_raises({
      {"permut fresh", [] { m_permut(fresh, true); }, 2001, "m_permut::matrix not allocated"},
      {"permut fresh, no pivoting", [] { m_permut(fresh); }, 2001, "m_permut::matrix not allocated"},
      {"permut_col fresh", [] { m_permut_col(fresh, true); }, 2001, "m_permut_col::matrix not allocated"},
      {"lu fresh", [] { m_decomplu(fresh); }, 2001, "m_decompLU::matrix not allocated"},
      {"lu_m fresh", [] { m_decomplu_m(fresh, true); }, 2001, "m_decompLU_m::matrix not allocated"},
  });
}

TEST(F1Stops, Cholesky) {
  const std::string not_pd = "m_decompCholesky::matrix is not positive definite";
  test::expect_stops_and_raises({
      {"fresh", [] { m_decompcholesky(fresh); }, 2001, "m_decompCholesky::matrix not allocated"},
      {"rectangular", [] { m_decompcholesky(m23); }, 202, "m_decompCholesky:: square matrix expected"},
      {"updated pivot zero",
       [] {
         m_decompcholesky(rows_of({{4, 2}, {2, 1}}));
       },
       304, not_pd},
      {"updated pivot negative",
       [] {
         m_decompcholesky(rows_of({{1, 2}, {2, 1}}));
       },
       304, not_pd},
      {"pivot equal to eps",
       [] {
         m_decompcholesky(rows_of({{1, 0}, {0, eps}}));
       },
       304, not_pd},
      {"last pivot NaN",
       [] {
         m_decompcholesky(rows_of({{1, 0}, {nan, 1}}));
       },
       304, not_pd},
      // The first pivot is tested like the others.
      {"1x1 zero", [] { m_decompcholesky(rows_of({{0}})); }, 304, not_pd},
      {"1x1 negative", [] { m_decompcholesky(rows_of({{-4}})); }, 304, not_pd},
      {"1x1 eps", [] { m_decompcholesky(rows_of({{eps}})); }, 304, not_pd},
      {"1x1 NaN", [] { m_decompcholesky(rows_of({{nan}})); }, 304, not_pd},
      {"first pivot negative",
       [] {
         m_decompcholesky(rows_of({{-1, 0}, {0, 1}}));
       },
       304, not_pd},
      {"middle pivot fails",
       [] {
         m_decompcholesky(rows_of({{1, 0, 0}, {1, 1, 0}, {0, 0, 1}}));
       },
       304, not_pd},
  });
}

TEST(F1Stops, GaussJordan) {
  const std::string singular = "m_inverse_gaussj::matrix is close to singular or badly scaled";
  test::expect_stops_and_raises({
      {"inverse fresh", [] { m_inverse_gaussj(fresh); }, 2001, "m_inverse_gaussj::matrix not allocated"},
      {"inverse rectangular", [] { m_inverse_gaussj(m23); }, 202, "m_inverse_gaussj::square matrix expected"},
      {"inverse singular",
       [] {
         m_inverse_gaussj(rows_of({{1, 2}, {2, 4}}));
       },
       300, singular},
      {"inverse tiny",
       [] {
         m_inverse_gaussj(rows_of({{1e-8f, 0}, {0, 1e-8f}}));
       },
       300, singular},
      {"inverse 1x1 eps", [] { m_inverse_gaussj(rows_of({{eps}})); }, 300, singular},
      {"det fresh", [] { m_det_gaussj(fresh); }, 2001, "m_det_gaussj::matrix not allocated"},
      {"det rectangular", [] { m_det_gaussj(m23); }, 202, "m_det_gaussj::square matrix expected"},
      {"rank fresh", [] { m_rank_gaussj(fresh); }, 2001, "m_rank_gaussj::matrix not allocated"},
  });
}

TEST(F1Stops, PowerIteration) {
  test::expect_stops_and_raises({
      {"fresh", [] { m_pow_eig(fresh); }, 2001, "m_pow_eig::matrix not allocated"},
      {"rectangular", [] { m_pow_eig(m23); }, 202, "m_pow_eig:: square matrix expected"},
      // Equal magnitudes of opposite sign never settle.
      {"plus and minus one",
       [] {
         m_pow_eig(rows_of({{1, 0}, {0, -1}}));
       },
       301, "m_pow_eig::power eig method diverge"},
      {"pass limit",
       [] {
         m_pow_eig(rows_of({{3, 0}, {0, 1}}), std::nullopt, std::nullopt, 3);
       },
       301, "m_pow_eig::power eig method diverge"},
      // No pass at all: the residual vector of 0 entries is refused first.
      {"maxiter 1", [] { m_pow_eig(rows_of({{2}}), std::nullopt, std::nullopt, 1); }, 201,
       "v_init::positive size expected"},
      {"maxiter 0 beats divergence",
       [] {
         m_pow_eig(rows_of({{1, 0}, {0, -1}}), std::nullopt, std::nullopt, 0);
       },
       201, "v_init::positive size expected"},
      {"start vector of the wrong size",
       [] {
         m_pow_eig(rows_of({{2}}), vector_of({1, 1}));
       },
       202, "m_prod_vec_c::The number cols of the first matrix must be equal to vector size"},
  });
}

TEST(F1Stops, NormsConditionTrace) {
  test::expect_stops_and_raises({
      {"norm fresh", [] { m_norm(fresh, 1); }, 2001, "m_norm::matrix not allocated"},
      {"norm fresh, default", [] { m_norm(fresh); }, 2001, "m_norm::matrix not allocated"},
      {"cond fresh", [] { m_cond(fresh); }, 2001, "m_cond::matrix not allocated"},
      {"cond rectangular", [] { m_cond(m23); }, 202, "m_inverse_gaussj::square matrix expected"},
      {"cond singular",
       [] {
         m_cond(rows_of({{1, 2}, {2, 4}}));
       },
       300, "m_inverse_gaussj::matrix is close to singular or badly scaled"},
      {"trace fresh", [] { m_trace(fresh); }, 2001, "m_trace::matrix not allocated"},
      {"trace rectangular", [] { m_trace(m23); }, 202, "m_trace::square matrix expected"},
  });
  // The power iteration on A^T*A ends in a two-cycle one ulp apart, above the
  // absolute tolerance but at rounding level: a result, not a stop.
  EXPECT_NEAR(m_norm(rows_of({{1, 2, 3}, {-4, 5, -6}}), 2), 8.89990492f, 4e-6f);
}

}  // namespace
}  // namespace orvik
