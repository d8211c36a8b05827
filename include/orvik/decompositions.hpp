#pragma once
// The factorizations and solvers of the matrix module, one section per topic:
// result records, pivoting, LU, linear solve, least squares, Cholesky,
// Gauss-Jordan, QR, SVD, eigenvalues, power iteration, determinant, rank,
// pseudo-inverse, norms and the printing of factorization results.
//
// `permute` omitted counts as false: no reordering, P stays unallocated.
// Method texts compare with trailing blanks ignored and letter case
// significant. Omitted arguments are handed on still omitted, so the callee's
// own default applies.

#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvik {

// --- result records ------------------------------------------------------------------
// A matrix with the permutation that produced it.
struct t_m_and_p {
  t_matrix M;
  t_matrix P;  // allocated only when pivoting was requested
  std::int32_t nb_permut = 0;
};

struct t_lu {
  t_matrix L;
  t_matrix U;
  t_matrix P;  // allocated only when pivoting was requested
  std::int32_t nb_permut = 0;
};

struct t_qr {
  t_matrix Q;
  t_matrix R;
  t_matrix P;  // allocated only when pivoting was requested
  std::int32_t nb_permut = 0;
};

struct t_svd {
  t_matrix S;
  t_matrix V;
  t_matrix U;
};

struct t_eig {
  t_vector eigvals;
  t_matrix eigvecs;
};

// The eigenvalues (re, im) of a general matrix and, on request, its right
// eigenvectors in real storage (m_eig_gen).
struct t_eig_gen {
  t_vector re;
  t_vector im;
  t_matrix vectors;
};

struct t_poweig {
  float eigval = 0.0f;
  t_vector eigvec;
  t_vector errors;
  std::int32_t nb_iter = 0;
};

// Release routines: each m_destruct / v_destruct's every member in field
// order (M, P; L, U, P; Q, R, P; S, V, U; eigvals, eigvecs; errors, eigvec;
// re, im, vectors),
// skipping members never allocated; counts and scalars keep their values.
void m_destruct_m_and_p(t_m_and_p& mp);
void m_destruct_lu(t_lu& lu);
void m_destruct_qr(t_qr& qr);
void m_destruct_t_svd(t_svd& svd);
void m_destruct_t_eig(t_eig& eig);
void m_destruct_t_poweig(t_poweig& pe);
void m_destruct_t_eig_gen(t_eig_gen& eig);

// --- pivoting ------------------------------------------------------------------------
// Rows reordered by the magnitude of their entries, column by column for
// every target row (each move counts in nb_permut; the lowest index wins
// ties); M = P*A. permute omitted or false: M a copy of A, P unallocated.
// Not allocated: 2001 "m_permut::matrix not allocated".
t_m_and_p m_permut(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// The column twin: M = A*P. Not allocated: 2001 "m_permut_col::matrix not
// allocated".
t_m_and_p m_permut_col(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// --- LU ------------------------------------------------------------------------------
// P*A = L*U with L unit lower triangular, rows(A) x min, and U min x cols(A),
// made with m_init (U last, so m_init remembers U's shape). Pivots are not
// tested: a zero pivot gives infinities or NaN. Not allocated: 2001
// "m_decompLU::matrix not allocated".
t_lu m_decomplu(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// The same factors packed into M (U on and above the diagonal, L's
// multipliers below it). Not allocated: 2001 "m_decompLU_m::matrix not
// allocated".
t_m_and_p m_decomplu_m(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// --- linear solve -------------------------------------------------------------------
// x with A x = b, by LU with partial pivoting (at each column the row of
// largest magnitude, the lowest on a tie) and back substitution, on copies:
// A and b are unchanged. The matrix form solves every column of B.
// Errors, in this order: A (or B) not allocated, 2001 "m_solve::matrix not
// allocated"; b not allocated, 2001 "m_solve::vector not allocated"; A not
// square, 202 "m_solve:: square matrix expected"; size(b) != rows(A), 202
// "m_solve::The number rows of the matrix must be equal to vector size"
// (rows(B): "m_solve::The number rows of the first matrix must be equal to
// the number rows of the second matrix"); an exactly zero pivot, 300
// "m_solve::matrix is singular". Only exact zeros are refused: check m_cond
// when A may be nearly singular. On success the result is made with v_init
// (m_init), which then remembers its size; a refused call leaves the
// remembered sizes alone. An empty system (0 x 0, or B without columns)
// gives an empty result made without v_init / m_init.
t_vector m_solve(const t_matrix& a, const t_vector& b);
t_matrix m_solve(const t_matrix& a, const t_matrix& b);

// --- least squares ------------------------------------------------------------------
// x minimising ||A x - b||_2 for A with rows(A) >= cols(A) and full column
// rank, by Householder QR applied to b without forming Q; for a square A
// this solves A x = b. The result has cols(A) entries (rows). Errors, in
// this order: A (or B) not allocated, 2001 "m_lstsq::matrix not allocated";
// b not allocated, 2001 "m_lstsq::vector not allocated"; rows(A) < cols(A),
// 202 "m_lstsq::The number rows of the matrix must be superior or equal to
// its number cols"; size(b) != rows(A), 202 "m_lstsq::The number rows of the
// matrix must be equal to vector size" (rows(B): "m_lstsq::The number rows
// of the first matrix must be equal to the number rows of the second
// matrix"); an exactly zero diagonal entry of R, 300 "m_lstsq::matrix is
// rank deficient". Remembered sizes as for m_solve.
t_vector m_lstsq(const t_matrix& a, const t_vector& b);
t_matrix m_lstsq(const t_matrix& a, const t_matrix& b);

// --- Cholesky ------------------------------------------------------------------------
// L*L^T = (P*)A for a symmetric positive definite A; only the lower
// triangle is read. Errors: 2001 "m_decompCholesky::matrix not allocated";
// not square, 202 "m_decompCholesky:: square matrix expected"; a pivot not
// above math_machine_eps (NaN included), 304 "m_decompCholesky::matrix is
// not positive definite".
t_m_and_p m_decompcholesky(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// --- Gauss-Jordan --------------------------------------------------------------------
// Gauss-Jordan elimination with partial pivoting, absolute tolerance
// math_machine_eps.
// The inverse. Errors: 2001 "m_inverse_gaussj::matrix not allocated"; not
// square, 202 "m_inverse_gaussj::square matrix expected"; a pivot of
// magnitude <= eps, 300 "m_inverse_gaussj::matrix is close to singular or
// badly scaled".
t_matrix m_inverse_gaussj(const t_matrix& a);
// The determinant; 0.0 when a pivot is <= eps. Errors: 2001
// "m_det_gaussj::matrix not allocated"; not square, 202 "m_det_gaussj::square
// matrix expected".
float m_det_gaussj(const t_matrix& a);
// The number of pivots above eps, any shape. Not allocated: 2001
// "m_rank_gaussj::matrix not allocated".
std::int32_t m_rank_gaussj(const t_matrix& a);

// --- QR ------------------------------------------------------------------------------
// method "ho": Householder (Q m x m, R m x n); "gsro": Gram-Schmidt with
// re-orthogonalisation; anything else or omitted: plain Gram-Schmidt (both
// thin: Q m x n, R n x n). qr_tol reaches only "gsro". Released with
// m_destruct_qr. No check of its own: the method's checks apply.
t_qr m_decompqr(const t_matrix& a, std::optional<std::string_view> method = std::nullopt,
                std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// Not allocated: 2001 "m_decompQR_HouseHolder::matrix not allocated". Leaves
// m_extract's bounds and m_init's sizes at those of its last step.
t_qr m_decompqr_householder(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// Errors: 2001 "m_decompQR_GramSchimdt::matrix not allocated"; a column whose
// index does not exceed the rank with a residual of length at most machine
// epsilon, 305 "m_decompQR_GramSchimdt::QR decomposition not exist".
t_qr m_decompqr_gramschimdt(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// qr_tol omitted: 1.0e-25. A column that collapses below 10 * qr_tol of its
// length becomes a zero column with R(k, k) = 0. Not allocated: 2001
// "m_decompQR_GramSchimdt::matrix not allocated" (the same name).
t_qr m_decompqr_gramschimdt_reortho(const t_matrix& a, std::optional<float> qr_tol = std::nullopt,
                                    std::optional<bool> permute = std::nullopt);

// --- singular value decomposition ----------------------------------------------------
// The singular values, made with v_init (min(rows, cols)). tol omitted:
// machine epsilon; maxiter omitted: 100 * max(rows, cols). The last three
// arguments go to every QR factorization unchanged. The values come in the
// order the iteration delivers them, unsorted. Where the sweeps cannot finish
// on a finite matrix (plain Gram-Schmidt refuses a factorization, whatever
// the limit; the default limit is spent, or a sweep repeats an earlier one
// bit for bit, above the tolerance) the values are those of m_svd_values,
// non-increasing. Errors: 2001 "m_decompsvd_s::matrix not allocated"; a
// limit the caller gave reached (or proved out of reach) before
// convergence, 301 "m_decompsvd_s::svd method diverge"; and for a matrix
// with an entry that is not finite, the default limit's 301 and the
// Gram-Schmidt 305 "m_decompQR_GramSchimdt::QR decomposition not exist".
t_vector m_decompsvd_s(const t_matrix& a, std::optional<float> tol = std::nullopt,
                       std::optional<std::int32_t> maxiter = std::nullopt,
                       std::optional<std::string_view> method = std::nullopt,
                       std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// A = U*S*V^T: S m x n, V n x n, U m x m with Householder QR and m x n with
// Gram-Schmidt. Where the sweeps cannot finish (as for m_decompsvd_s) the
// factors come from m_svd in the same shapes, the values non-increasing;
// with Gram-Schmidt on a wide matrix the columns of U past m are zeros.
// Released with m_destruct_t_svd. Errors: 2001 "m_decompsvd::matrix not
// allocated"; 301 "m_decompsvd::svd method diverge" and 305 as for
// m_decompsvd_s.
t_svd m_decompsvd(const t_matrix& a, std::optional<float> tol = std::nullopt,
                  std::optional<std::int32_t> maxiter = std::nullopt,
                  std::optional<std::string_view> method = std::nullopt, std::optional<float> qr_tol = std::nullopt,
                  std::optional<bool> permute = std::nullopt);

// --- fast singular value decomposition ----------------------------------------------
// A = U*S*V^T by Householder bidiagonalisation and implicit QR on the
// bidiagonal (Demmel-Kahan), with k = min(rows, cols): thin by default (U
// rows x k, S k x k, V cols x k), full when `full` is true (U rows x rows,
// S rows x cols, V cols x cols; the extra columns are the reflectors'
// orthonormal completion). S's diagonal is non-increasing and >= 0. In every
// column of U the entry of largest magnitude (the first of equals) is
// positive, V's matching column taking the same sign; the extra columns of a
// full V follow the same rule on their own. The results are made last, S
// then V then U, so m_init remembers U's shape; a result with a size of 0
// (an empty A) is made with m_zeros and leaves the remembered sizes alone.
// Errors, in this order: 2001 "m_svd::matrix not allocated"; an entry NaN or
// infinite, 300 "m_svd::matrix has an entry that is not finite"; the
// iteration's step budget spent, 301 "m_svd::svd method diverge".
t_svd m_svd(const t_matrix& a, std::optional<bool> full = std::nullopt);
// The k values of m_svd, non-increasing, bit for bit S's diagonal, made with
// v_init (with v_zeros for k = 0). The errors are m_svd's under the name
// "m_svd_values".
t_vector m_svd_values(const t_matrix& a);

// --- eigenvalues ---------------------------------------------------------------------
// Exactly niter shifted QR steps (none below 1); the diagonal of the last
// iterate, unsorted, made with v_init. Errors: 2001 "m_eig_qr::matrix not
// allocated"; not square, 202 "m_eig_qr:: square matrix expected"; then the
// QR method's.
t_vector m_eig_qr(const t_matrix& a, std::int32_t niter, std::optional<std::string_view> method = std::nullopt,
                  std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// Power iteration with deflation; x0, tol and maxiter go to every m_pow_eig
// unchanged. Prints the residual (A - lambda I) v of every pair with v_print.
// Released with m_destruct_t_eig. Errors: not square, 202
// "m_eig_deflation:: square matrix expected" (checked first, even before
// allocation); then m_pow_eig's (an unallocated A: "m_pow_eig::matrix not
// allocated").
t_eig m_eig_deflation(const t_matrix& a, const std::optional<t_vector>& x0 = std::nullopt,
                      std::optional<float> tol = std::nullopt, std::optional<std::int32_t> maxiter = std::nullopt);

// --- eigenvalues by reduction and implicit QR ---------------------------------------
// Beside the iterations above: routines that reduce the matrix first and
// converge on every ordinary input. The input is scaled by a power of two
// (exact) so that no step overflows; every result has the same bits on every
// machine and with either kernel table.

// The eigenvalues of a symmetric A in non-decreasing order (a stable order:
// equal values keep the order the iteration left them in) and, unless
// `vectors` is false (omitted: true), orthonormal eigenvectors as the columns
// of eigvecs, column j for eigvals(j), each with its entry of largest
// magnitude (the first of equals) positive; without vectors eigvecs stays
// unallocated. The values have the same bits with and without vectors.
// Householder reduction to tridiagonal form, then the implicit QL / QR
// iteration with Wilkinson shifts, at most 30 n sweeps in all. Results are
// made after the iteration: eigvals with v_init (n), then eigvecs with m_init
// (n x n), which is what the remembered sizes keep. A 0 x 0 matrix gives
// empty results, made without v_init / m_init. Errors, in this order: 2001
// "m_eig_sym::matrix not allocated"; not square, 202 "m_eig_sym:: square
// matrix expected"; a(i, j) != a(j, i) for some pair (a NaN facing a NaN
// counts as equal here), 202 "m_eig_sym::symmetric matrix expected"; an
// infinite or NaN entry, 300 "m_eig_sym::matrix has an entry that is not
// finite"; the sweep limit reached, 301 "m_eig_sym::eig method diverge".
t_eig m_eig_sym(const t_matrix& a, std::optional<bool> vectors = std::nullopt);

// The eigenvalues of a general square A as real and imaginary parts, in the
// order of the real Schur form's diagonal, a complex pair as two
// consecutive entries with the positive imaginary part first; and when
// `vectors` is true (omitted: false) the right eigenvectors in LAPACK's real
// storage: a real eigenvalue's vector in its column, a pair's vector (for
// the eigenvalue of positive imaginary part) as two columns, real part then
// imaginary part, each scaled to unit Euclidean length with its component
// of largest magnitude real. Balancing (exchanges that isolate rows and
// columns zero off the diagonal, whose diagonal entries are then exact
// eigenvalues, then scaling by powers of two), Householder
// reduction to Hessenberg form, the Francis double-shift QR iteration
// (exceptional shifts after 10 and 20 steps without deflation, at most
// 30 max(10, n) steps per deflation), back substitution on the Schur form.
// The values have the same bits with and without vectors (the parts of the
// Schur form only the vectors need never feed the active block). Results
// are made after the iteration: re, then im with v_init (n), then vectors with m_init (n x n);
// a 0 x 0 matrix gives empty results made without them. Released with
// m_destruct_t_eig_gen (re, im, vectors). Errors, in this order: 2001
// "m_eig_gen::matrix not allocated"; not square, 202 "m_eig_gen:: square
// matrix expected"; an infinite or NaN entry, 300 "m_eig_gen::matrix has an
// entry that is not finite"; a deflation beyond its steps, 301
// "m_eig_gen::eig method diverge".
t_eig_gen m_eig_gen(const t_matrix& a, std::optional<bool> vectors = std::nullopt);

// --- power iteration -----------------------------------------------------------------
// Power iteration. x0 omitted: ones; tol omitted: math_machine_eps;
// maxiter omitted: 100 * max(rows, cols). errors holds one residual per
// iteration (made with v_init). Errors: 2001 "m_pow_eig::matrix not
// allocated"; not square, 202 "m_pow_eig:: square matrix expected"; no
// convergence within maxiter, 301 "m_pow_eig::power eig method diverge".
t_poweig m_pow_eig(const t_matrix& a, const std::optional<t_vector>& x0 = std::nullopt,
                   std::optional<float> tol = std::nullopt, std::optional<std::int32_t> maxiter = std::nullopt);

// --- determinant ---------------------------------------------------------------------
// method "lu", "chol"; anything else or omitted: Gauss-Jordan (permute
// unused). The chosen routine's checks apply.
float m_det(const t_matrix& a, std::optional<std::string_view> method = std::nullopt,
            std::optional<bool> permute = std::nullopt);
// The product of U's diagonal times (-1)^nb_permut. Errors: 2001
// "m_det_lu::matrix not allocated"; not square, 202 "m_det_lu::square matrix
// expected". Where the unpivoted elimination meets a zero pivot, or the
// product is not finite, while every entry of A is finite, the result is the
// determinant by LU with partial pivoting (m_solve's elimination: its pivots
// multiplied in order, negated for an odd number of exchanges) instead of a
// NaN, an infinity or a false zero.
float m_det_lu(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// No shape check: the product of the min(rows, cols) diagonal entries of U;
// for a square A, the same partial-pivoting rescue as m_det_lu. Not
// allocated: 2001 "m_det_lu_all::matrix not allocated".
float m_det_lu_all(const t_matrix& a, std::optional<bool> permute = std::nullopt);
// The square of the product of the Cholesky factor's diagonal. Errors: 2001
// "m_det_chol::matrix not allocated"; not square, 202 "m_det_chol::square
// matrix expected"; then m_decompcholesky's 304.
float m_det_chol(const t_matrix& a, std::optional<bool> permute = std::nullopt);

// --- rank ----------------------------------------------------------------------------
// method "svd"; anything else or omitted: Gauss-Jordan (the rest unused).
// The chosen routine's checks apply.
std::int32_t m_rank(const t_matrix& a, std::optional<float> tol = std::nullopt,
                    std::optional<std::string_view> method = std::nullopt, std::optional<float> svd_tol = std::nullopt,
                    std::optional<std::int32_t> svd_maxiter = std::nullopt,
                    std::optional<std::string_view> qr_method = std::nullopt,
                    std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);
// The number of singular values strictly above tol (omitted: 1.0e-8). The
// checks are m_decompsvd_s's.
std::int32_t m_rank_svd(const t_matrix& a, std::optional<float> tol = std::nullopt,
                        std::optional<float> svd_tol = std::nullopt,
                        std::optional<std::int32_t> svd_maxiter = std::nullopt,
                        std::optional<std::string_view> qr_method = std::nullopt,
                        std::optional<float> qr_tol = std::nullopt, std::optional<bool> permute = std::nullopt);

// --- pseudo-inverse ------------------------------------------------------------------
// method "svd"; anything else or omitted: Cholesky with chol_tol. The result
// is cols(a) x rows(a). The chosen routine's checks apply.
t_matrix m_pinv(const t_matrix& a, std::optional<float> svd_tol = std::nullopt,
                std::optional<float> chol_tol = std::nullopt, std::optional<std::int32_t> svd_maxiter = std::nullopt,
                std::optional<std::string_view> qr_method = std::nullopt, std::optional<float> qr_tol = std::nullopt,
                std::optional<std::string_view> method = std::nullopt);
// V*S^+*U^T, singular values below machine epsilon dropped. method is the
// QR method of the SVD; with a Gram-Schmidt method on a matrix that is not
// square, S^+ is n x cols(U), the shape the thin U needs. Checks:
// m_decompsvd's.
t_matrix m_pseudoinv_svd(const t_matrix& a, std::optional<float> tol = std::nullopt,
                         std::optional<std::int32_t> maxiter = std::nullopt,
                         std::optional<std::string_view> method = std::nullopt,
                         std::optional<float> qr_tol = std::nullopt);
// tol omitted: 1.0e-9 times the smallest |diagonal entry| of the Gram
// matrix. When no column of the factor is kept the result is the
// cols(a) x rows(a) zero matrix. With tol omitted, where the result X of a
// finite A misses the Penrose condition, |A X A - A|_F > 2^-10 |A|_F (it has
// lost most of single precision's digits), the result comes from m_svd
// instead: V S^+ U^T with the values at or below max(m, n) * eps * s1
// dropped, of A with its columns (rows, when wide) first scaled by powers
// of two to about unit length where that scaled matrix has full rank; made
// last as the Cholesky result is. No check of its own: an unallocated a stops
// in m_trans (2001 "m_trans::matrix not allocated").
t_matrix m_pseudoinv_chol(const t_matrix& a, std::optional<float> tol = std::nullopt);

// --- norms, condition number and trace -----------------------------------------------
// p = 1 column sums, 0 row sums, -1 Frobenius, 2 (or omitted, or anything
// else) spectral: by power iteration on A^T A, or, where that would stop
// with m_pow_eig's 301 on a finite A (two largest singular values too
// close to separate), the largest value of m_svd_values(A). Not allocated:
// 2001 "m_norm::matrix not allocated".
float m_norm(const t_matrix& a, std::optional<std::int32_t> p = std::nullopt);
// ||A||_2 * ||A^-1||_2 with the Gauss-Jordan inverse; where Gauss-Jordan
// refuses a finite A (a pivot at most machine epsilon), sigma_1 / sigma_n
// of m_svd_values(A), infinite when sigma_n is 0. Errors: 2001
// "m_cond::matrix not allocated"; then m_inverse_gaussj's (202; 300 for a
// matrix with an entry that is not finite).
float m_cond(const t_matrix& a);
// The sum of the diagonal, held wide. Errors: 2001 "m_trace::matrix not
// allocated"; not square, 202 "m_trace::square matrix expected".
float m_trace(const t_matrix& a);

// --- printing of factorization results -----------------------------------------------
// A title line, then a header line and an m_print_tofile block per factor; P
// only when allocated. Only the first open honours `status` and `position`;
// the later ones append. No check of its own: an unallocated factor stops
// in m_print_tofile (2001), after the lines before it are written.
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
