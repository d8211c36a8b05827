#pragma once
// QR (Householder and Gram-Schmidt), singular value decomposition,
// eigenvalues, the determinant, rank and pseudo-inverse front ends, and the
// printing of factorization results.
//
// Method texts compare with trailing blanks ignored and letter case
// significant. Omitted arguments are handed on still omitted, so the callee's
// own default applies.

#include <orvik/decompositions.hpp>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvik {

// --- QR ---------------------------------------------------------------------------
// method "ho": Householder (Q m x m, R m x n); "gsro": Gram-Schmidt with
// re-orthogonalisation; anything else or omitted: plain Gram-Schmidt (both
// thin: Q m x n, R n x n). qr_tol reaches only "gsro". Released with
// m_destruct_qr.
t_qr m_decompqr(const t_matrix& a, std::optional<std::string_view> method = std::nullopt,
                std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
t_qr m_decompqr_householder(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// Stops with 305 when a column whose index does not exceed the rank has a
// residual of length at most machine epsilon.
t_qr m_decompqr_gramschimdt(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// qr_tol omitted: 1.0e-25. A column that collapses below 10 * qr_tol of its
// length becomes a zero column with R(k, k) = 0.
t_qr m_decompqr_gramschimdt_reortho(const t_matrix& a, std::optional<float> qr_tol = std::nullopt,
                                    std::optional<bool> permute = std::nullopt);

// --- singular value decomposition ---------------------------------------------------
// tol omitted: machine epsilon; maxiter omitted: 100 * max(rows, cols). The
// last three arguments go to every QR factorization unchanged. The values come
// in the order the iteration delivers them, unsorted. Stops with 301 when the
// sweep limit ends the iteration before convergence.
t_vector m_decompsvd_s(const t_matrix& a, std::optional<float> tol = std::nullopt,
                       std::optional<std::int32_t> maxiter = std::nullopt,
                       std::optional<std::string_view> method = std::nullopt,
                       std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// S m x n, V n x n, U m x m with Householder QR and m x n with Gram-Schmidt.
// Released with m_destruct_t_svd.
t_svd m_decompsvd(const t_matrix& a, std::optional<float> tol = std::nullopt,
                  std::optional<std::int32_t> maxiter = std::nullopt,
                  std::optional<std::string_view> method = std::nullopt, std::optional<float> qr_tol = std::nullopt,
                  std::optional<bool> permute = std::nullopt);

// --- eigenvalues ----------------------------------------------------------------------
// Exactly niter shifted QR steps (none below 1); the diagonal of the last
// iterate, unsorted.
t_vector m_eig_qr(const t_matrix& a, std::int32_t niter, std::optional<std::string_view> method = std::nullopt,
                  std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// Power iteration with deflation; x0, tol and maxiter go to every m_pow_eig
// unchanged. Prints the residual (A - lambda I) v of every pair with v_print.
// Released with m_destruct_t_eig.
t_eig m_eig_deflation(const t_matrix& a, const std::optional<t_vector>& x0 = std::nullopt,
                      std::optional<float> tol = std::nullopt, std::optional<std::int32_t> maxiter = std::nullopt);

// --- determinant, rank and pseudo-inverse front ends ------------------------------
// method "lu", "chol"; anything else or omitted: Gauss-Jordan (permute unused).
float m_det(const t_matrix& a, std::optional<std::string_view> method = std::nullopt,
            std::optional<bool> permute = std::nullopt);
float m_det_lu(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// No shape check: the product of the min(rows, cols) diagonal entries of U.
float m_det_lu_all(const t_matrix& a, std::optional<bool> permute = std::nullopt);
float m_det_chol(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// method "svd"; anything else or omitted: Gauss-Jordan (the rest unused).
std::int32_t m_rank(const t_matrix& a, std::optional<float> tol = std::nullopt,
                    std::optional<std::string_view> method = std::nullopt, std::optional<float> svd_tol = std::nullopt,
                    std::optional<std::int32_t> svd_maxiter = std::nullopt,
                    std::optional<std::string_view> qr_method = std::nullopt,
                    std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// The number of singular values strictly above tol (omitted: 1.0e-8).
std::int32_t m_rank_svd(const t_matrix& a, std::optional<float> tol = std::nullopt,
                        std::optional<float> svd_tol = std::nullopt,
                        std::optional<std::int32_t> svd_maxiter = std::nullopt,
                        std::optional<std::string_view> qr_method = std::nullopt,
                        std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);

// method "svd"; anything else or omitted: Cholesky with chol_tol. The result
// is cols(a) x rows(a).
t_matrix m_pinv(const t_matrix& a, std::optional<float> svd_tol = std::nullopt,
                std::optional<float> chol_tol = std::nullopt, std::optional<std::int32_t> svd_maxiter = std::nullopt,
                std::optional<std::string_view> qr_method = std::nullopt, std::optional<float> qr_tol = std::nullopt,
                std::optional<std::string_view> method = std::nullopt);
// method is the QR method of the SVD; with a Gram-Schmidt method a
// non-square matrix stops with 202 in m_prod_mat.
t_matrix m_pseudoinv_svd(const t_matrix& a, std::optional<float> tol = std::nullopt,
                         std::optional<std::int32_t> maxiter = std::nullopt,
                         std::optional<std::string_view> method = std::nullopt,
                         std::optional<float> qr_tol = std::nullopt);
// tol omitted: 1.0e-9 times the smallest |diagonal entry| of the Gram
// matrix. When no column of the factor is kept the result is the
// cols(a) x rows(a) zero matrix.
t_matrix m_pseudoinv_chol(const t_matrix& a, std::optional<float> tol = std::nullopt);

// --- printing of factorization results -----------------------------------------------
// A title line, then a header line and an m_print_tofile block per factor; P
// only when allocated. Only the first open honours `position`; the later ones
// append.
void m_print_lu_tofile(const t_lu& lu, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                       std::optional<std::string_view> status = std::nullopt,
                       std::optional<std::string_view> position = std::nullopt);
void m_print_qr_tofile(const t_qr& qr, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                       std::optional<std::string_view> status = std::nullopt,
                       std::optional<std::string_view> position = std::nullopt);
void m_print_m_and_p_tofile(const t_m_and_p& mp, std::string_view filename,
                            std::optional<std::int32_t> unit = std::nullopt,
                            std::optional<std::string_view> status = std::nullopt,
                            std::optional<std::string_view> position = std::nullopt);

}  // namespace orvik
