// Every check of the QR, SVD, eigenvalue and front-end routines, and the
// errors they pass on from the routines they call: the exact error line on
// standard output and exit status 1.

#include "support/child.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <functional>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::stop_case;

using f2::matrix_of;

const t_matrix fresh{};
const t_matrix m22 = matrix_of(2, 2, {1, 2, 3, 4});
const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 7});
const t_matrix dependent = matrix_of(3, 3, {1, 2, 0, 0, 0, 0, 0, 0, 1});

TEST(F2Stops, Qr) {
  test::expect_stops({
      {"householder fresh", [] { m_decompqr_householder(fresh); }, 2001,
       "m_decompQR_HouseHolder::matrix not allocated"},
      {"dispatch ho fresh", [] { m_decompqr(fresh, "ho "); }, 2001, "m_decompQR_HouseHolder::matrix not allocated"},
      {"gram-schmidt fresh", [] { m_decompqr_gramschimdt(fresh); }, 2001,
       "m_decompQR_GramSchimdt::matrix not allocated"},
      {"reortho fresh", [] { m_decompqr(fresh, "gsro"); }, 2001, "m_decompQR_GramSchimdt::matrix not allocated"},
      {"dependent column within the rank", [] { m_decompqr(dependent); }, 305,
       "m_decompQR_GramSchimdt::QR decomposition not exist"},
      {"zero first column",
       [] {
         m_decompqr_gramschimdt(matrix_of(2, 2, {0, 1, 0, 2}));
       },
       305, "m_decompQR_GramSchimdt::QR decomposition not exist"},
  });
}

TEST(F2Stops, SvdAndEigenvalues) {
  test::expect_stops({
      {"svd_s fresh", [] { m_decompsvd_s(fresh); }, 2001, "m_decompsvd_s::matrix not allocated"},
      {"svd_s one sweep", [] { m_decompsvd_s(m22, std::nullopt, 0); }, 301, "m_decompsvd_s::svd method diverge"},
      {"svd fresh", [] { m_decompsvd(fresh); }, 2001, "m_decompsvd::matrix not allocated"},
      {"svd one sweep", [] { m_decompsvd(m22, std::nullopt, 0); }, 301, "m_decompsvd::svd method diverge"},
      // The default sweep limit of a very tall shape must stay inside int32
      // (caught by the sanitized build) before m_trans refuses the shape.
      {"svd_s very tall default limit", [] { m_decompsvd_s(m_zeros(30000000, 0)); }, 201,
       "m_init::row is nil or negative"},
      {"svd passes on 305", [] { m_decompsvd(dependent); }, 305, "m_decompQR_GramSchimdt::QR decomposition not exist"},
      {"eig_qr fresh", [] { m_eig_qr(fresh, 3); }, 2001, "m_eig_qr::matrix not allocated"},
      {"eig_qr not square", [] { m_eig_qr(m23, 3); }, 202, "m_eig_qr:: square matrix expected"},
      {"eig_qr passes on 305",
       [] {
         m_eig_qr(matrix_of(2, 2, {1, 0, 0, 1}), 1);
       },
       305, "m_decompQR_GramSchimdt::QR decomposition not exist"},
      {"deflation not square", [] { m_eig_deflation(m23); }, 202, "m_eig_deflation:: square matrix expected"},
      {"deflation fresh", [] { m_eig_deflation(fresh); }, 2001, "m_pow_eig::matrix not allocated"},
      {"deflation with maxiter 1", [] { m_eig_deflation(m22, std::nullopt, std::nullopt, 1); }, 201,
       "v_init::positive size expected"},
  });
}

TEST(F2Stops, FrontEnds) {
  test::expect_stops({
      {"det_lu fresh", [] { m_det(fresh, "lu"); }, 2001, "m_det_lu::matrix not allocated"},
      {"det_lu not square", [] { m_det_lu(m23); }, 202, "m_det_lu::square matrix expected"},
      {"det_lu_all fresh", [] { m_det_lu_all(fresh); }, 2001, "m_det_lu_all::matrix not allocated"},
      {"det_chol fresh", [] { m_det(fresh, "chol"); }, 2001, "m_det_chol::matrix not allocated"},
      {"det_chol not square", [] { m_det_chol(m23); }, 202, "m_det_chol::square matrix expected"},
      {"det_chol passes on 304",
       [] {
         m_det(matrix_of(2, 2, {0, 1, 1, 0}), "chol");
       },
       304, "m_decompCholesky::matrix is not positive definite"},
      {"rank_svd fresh", [] { m_rank(fresh, std::nullopt, "svd"); }, 2001, "m_decompsvd_s::matrix not allocated"},
      {"rank_svd diverges", [] { m_rank_svd(m22, std::nullopt, std::nullopt, 0); }, 301,
       "m_decompsvd_s::svd method diverge"},
      {"pinv svd fresh",
       [] { m_pinv(fresh, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svd"); }, 2001,
       "m_decompsvd::matrix not allocated"},
      {"pinv svd thin U of a wide matrix", [] { m_pseudoinv_svd(m23); }, 202,
       "m_prod_mat::The number cols of the first matrix must be equal to the number rows of the second matrix"},
      {"pinv chol fresh", [] { m_pinv(fresh); }, 2001, "m_trans::matrix not allocated"},
      {"pinv chol wide fresh",
       [] {
         m_pseudoinv_chol(t_matrix{1, 3, {}, false});
       },
       2001, "m_trans::matrix not allocated"},
  });
}

TEST(F2Stops, RaisingModeCarriesTheNumber) {
  raising_scope guard;
  try {
    m_decompqr(dependent, "gs");
    FAIL() << "no error";
  } catch (const error& e) {
    EXPECT_EQ(e.exception().number, 305);
  }
  try {
    m_decompsvd(m22, std::nullopt, 0);
    FAIL() << "no error";
  } catch (const error& e) {
    EXPECT_EQ(e.exception().number, 301);
  }
}

}  // namespace
}  // namespace orvik
