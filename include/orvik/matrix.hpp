#pragma once
// Matrices: the record, its lifecycle and text file, printing, element and
// block access, arithmetic and products, reductions, structured matrices and
// generators. Element (i, j) is elements[(j-1)*rows + (i-1)]; the operations
// take 1-based indices.

#include <orvik/vector.hpp>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orvik {

struct t_matrix {
  std::int32_t rows = 2;
  std::int32_t cols = 2;
  std::vector<float> elements;  // rows * cols values, column-major, while allocated
  bool allocated = false;
};

// --- record and lifecycle ---------------------------------------------------
// m gets rows x cols zeros, releasing what it held. Sizes omitted: the
// remembered ones (initially 2 and 2); a given size replaces the remembered
// one before any check, so a bad value sticks. Errors: rows < 1, 201
// "m_init::row is nil or negative"; cols < 1, 201 "m_init::column is nil or
// negative"; storage refused, 2001 "m_init::allocate error".
void m_init(t_matrix& m, std::optional<std::int32_t> rows = std::nullopt,
            std::optional<std::int32_t> cols = std::nullopt);
// m gets rows x cols zeros (old values dropped); the remembered sizes stay.
// Errors: 201 "m_resize::row is nil or negative", 201 "m_resize::column is
// nil or negative", 2001 "m_resize::allocate error".
void m_resize(t_matrix& m, std::int32_t rows, std::int32_t cols);
// A rows x cols zero matrix; the remembered sizes stay. 0 rows or columns
// give an allocated matrix without elements; negative sizes stop with 201
// "m_zeros::row is nil or negative" / "m_zeros::column is nil or negative";
// storage refused, 2001 "m_zeros::allocate error".
t_matrix m_zeros(std::int32_t rows, std::int32_t cols);
// m read from a matrix file ("rows cols", then the rows). Errors: missing
// file, 3001 "u_is_exist_file::<name> not exist" before m is touched; counts
// below 1, 201 "m_init_fromfile::row is nil or negative" / "...::column is
// nil or negative"; storage, 2001 "m_init_fromfile::matrix allocate error".
// A file ending inside the header leaves m unallocated; values it does not
// reach are 0.0; an unreadable file or a value that is not a number ends
// with exit status 2. The remembered sizes stay; `unit` is unused.
void m_init_fromfile(t_matrix& m, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt);
// Every element becomes value. Not allocated: 2001 "m_minit_value::matrix
// not allocate yet" (m_affect: "m_affect::matrix not allocated").
void m_minit_value(t_matrix& m, float value);
void m_affect(t_matrix& m, float value);
// Every element becomes low + r (high - low), r from the process-wide random
// source, row by row (reseeded from the clock for odd i + j). low omitted:
// 1.0; high omitted: the larger of rows and cols. Not allocated: 2001
// "mc_random::matrix not allocate yet".
void mc_random(t_matrix& m, std::optional<float> low = std::nullopt, std::optional<float> high = std::nullopt);
// Releases the storage; rows and cols keep their values. Nothing happens to
// an unallocated m; one marked allocated without storage stops with 2002
// "m_destruct::matrix deallocate error".
void m_destruct(t_matrix& m);
// A matrix written out row by row: m_fromrows({{1, 2, 3}, {4, 5, 6}}) is
// 2 x 3. Made with m_init, so the remembered sizes become its shape. Errors,
// in this order: no rows, 201 "m_fromrows::row is nil or negative"; an
// empty first row, 201 "m_fromrows::column is nil or negative"; rows of
// unequal length, 202 "m_fromrows::rows are not the same size". A refused
// literal leaves the remembered sizes alone.
t_matrix m_fromrows(std::initializer_list<std::initializer_list<float>> rows);
// rows, cols and rows * cols. Not allocated: 2001 "m_getSizeRows::matrix not
// allocated" ("m_getSizeCols::...", "m_getSize::...").
std::int32_t m_getsizerows(const t_matrix& m);
std::int32_t m_getsizecols(const t_matrix& m);
std::int32_t m_getsize(const t_matrix& m);

// --- printing -------------------------------------------------------------------
// One free-format line per row on standard output (nothing for 0 rows). Not
// allocated: 2001 "matrix not allocated" (this message has no prefix).
void m_print(const t_matrix& m);
// The matrix file: "rows cols", then one line per row of "(f0.8)" values
// separated by blanks. status: "unknown" (default), "replace", "new", "old";
// position: "rewind" (default), "asis", "append"; `unit` is unused. Not
// allocated: 2001 "m_print_tofile::matrix not allocated", before anything is
// opened; a file that cannot be opened or written ends with exit status 2.
void m_print_tofile(const t_matrix& m, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                    std::optional<std::string_view> status = std::nullopt,
                    std::optional<std::string_view> position = std::nullopt);
// The layout of m_print_tofile, each value as the shortest text that
// m_init_fromfile reads back as the same float (0.1, 1e-10, -0, Infinity,
// NaN; a NaN keeps its sign but not its payload). Error: m not allocated,
// 2001 "m_save_tofile::matrix not allocated", before the file is opened.
void m_save_tofile(const t_matrix& m, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                   std::optional<std::string_view> status = std::nullopt,
                   std::optional<std::string_view> position = std::nullopt);

// --- access, arithmetic, reductions, structured matrices --------------------------

// Element, row, column and block access. Indices are 1-based.
// Element (i, j). Errors: 2001 "m_get::matrix not allocated"; i or j outside
// the matrix, 201 "m_get::matrix index nil or negative".
float m_get(const t_matrix& m, std::int32_t i, std::int32_t j);
// Element (i, j) becomes value. Errors: 2001 "m_set::matrix not allocated";
// i or j outside the matrix, 201 "m_set::matrix size nil or negative".
void m_set(t_matrix& m, std::int32_t i, std::int32_t j, float value);
// Row i, columns 1 to cols. Errors: 2001 "m_getRow::matrix not allocated";
// i outside 1..rows, 201 "m_getRow::matrix index nil or negative".
std::vector<float> m_getrow(const t_matrix& m, std::int32_t i);
// Column j, rows 1 to rows. Errors: 2001 "m_getCol::matrix not allocated";
// j outside 1..cols, 201 "m_getCol::matrix index nil or negative".
std::vector<float> m_getcol(const t_matrix& m, std::int32_t j);
// A copy of all elements, column-major like `elements`. Not allocated: 2001
// "m_get_m::matrix not allocated".
std::vector<float> m_get_m(const t_matrix& m);
// The rows one after the other (row-major), made with v_init (which then
// remembers rows * cols). Not allocated: 2001 "m_matrixTOvector::matrix not
// allocated"; a matrix without elements: 201 "v_init::positive size expected".
t_vector m_matrixtovector(const t_matrix& m);
// The block of rows row_first..row_last and columns col_first..col_last,
// made with m_init. Inclusive bounds; an omitted bound is the remembered one
// (initially 1), and a given bound replaces it before any check. Errors: m
// not allocated, 2001 "m_extract::matrix not allocated"; a bound below 1,
// 2001 "m_extract::positive boundary expected"; a bound past the matrix,
// 2001 "m_extract::inconsistent boundary"; a last bound before its first,
// 201 from m_init ("m_init::row is nil or negative" / "...column...").
t_matrix m_extract(const t_matrix& m, std::optional<std::int32_t> row_first = std::nullopt,
                   std::optional<std::int32_t> row_last = std::nullopt,
                   std::optional<std::int32_t> col_first = std::nullopt,
                   std::optional<std::int32_t> col_last = std::nullopt);
// Overwrites the block of m with m_sub. Omitted bounds are not remembered:
// first row 1, last row rows of m, first column 1, last column cols of m.
// Errors, all 2001: m or m_sub not allocated, "m_setsub::matrix not
// allocated"; a bound below 1, "m_setsub::positive boundary expected"; a
// bound past m, "m_setsub::inconsistent boundary"; a block of another shape
// than m_sub, "m_setsub::inconsistent boundary between m and m_sub".
void m_setsub(t_matrix& m, std::optional<std::int32_t> row_first, std::optional<std::int32_t> row_last,
              std::optional<std::int32_t> col_first, std::optional<std::int32_t> col_last, const t_matrix& m_sub);
// The same with every bound omitted: m_sub must have the shape of m.
void m_setsub(t_matrix& m, const t_matrix& m_sub);

// Elementwise arithmetic, transpose and products. Results are made through
// m_init / v_init, so they leave the remembered sizes at their shape.
// The transpose (cols x rows). Not allocated: 2001 "m_trans::matrix not
// allocated".
t_matrix m_trans(const t_matrix& m);
// m1 + m2 (m_minus: m1 - m2), elementwise. Errors: either not allocated,
// 2001 "m_add::matrix not allocated"; shapes differ, 202 "m_add::matrices are
// not the same size" (m_minus: "m_minus::...").
t_matrix m_add(const t_matrix& m1, const t_matrix& m2);
t_matrix m_minus(const t_matrix& m1, const t_matrix& m2);
// m / value elementwise; 0.0 and -0.0 are refused, any other value, NaN
// included, divides. Errors: 2001 "m_div_scalar::matrix not allocated", then
// 101 "m_div_scalar::can not divide by zero".
t_matrix m_div_scalar(const t_matrix& m, float value);
// value * m elementwise (m_prod_scalar2 the same with its arguments the
// other way round). Not allocated: 2001 "m_prod_scalar1::matrix not
// allocated" ("m_prod_scalar2::...").
t_matrix m_prod_scalar1(float value, const t_matrix& m);
t_matrix m_prod_scalar2(const t_matrix& m, float value);
// m * v, each entry one fused running sum over j in increasing order, made
// with v_init (rows). Errors: m or v not allocated, 2001 "m_prod_vec1::matrix
// not allocated"; cols != size, 202 "m_prod_vec1::The number cols of the
// first matrix must be equal to vector size".
t_vector m_prod_vec1(const t_matrix& m, const t_vector& v);
// m * v by column accumulation: each entry still receives its terms in
// increasing column order, so the bits are those of m_prod_vec1. Errors as
// m_prod_vec1's, named "m_prod_vec_c::...".
t_vector m_prod_vec_c(const t_matrix& m, const t_vector& v);
// The row vector v times m, made with v_init (cols). Errors: m or v not
// allocated, 2001 "m_prod_vec2::matrix not allocated"; size != rows, 202
// "m_prod_vec2::matrix size must be equal to matrix row".
t_vector m_prod_vec2(const t_vector& v, const t_matrix& m);
// m1 * m2, each entry one fused running sum in increasing k, made with
// m_init. Errors: either not allocated, 2001 "m_prod_mat::matrix not
// allocated"; cols(m1) != rows(m2), 202 "m_prod_mat::The number cols of the
// first matrix must be equal to the number rows of the second matrix" (cut
// to the buffer's 100 characters).
t_matrix m_prod_mat(const t_matrix& m1, const t_matrix& m2);

// Reductions and counts: whole matrix, one column, one row. Sums are held
// wide and rounded once; NaN never counts and is never a minimum or maximum;
// minima start at the largest finite float and maxima at its negative. Each
// stops first with 2001 "<name>::matrix not allocated", then, for a column
// or row outside the matrix, 201 "<name>::column nil or negative" or
// "<name>::row is nil or negative" ("m_nbzerosRow::row nil or negative"),
// where <name> is m_sum, m_sumCol, m_sumRow, m_min, m_minCol, ... as the
// routine's name with Col / Row capitalised. They leave no remembered state.
float m_sum(const t_matrix& m);
float m_sumcol(const t_matrix& m, std::int32_t c);
float m_sumrow(const t_matrix& m, std::int32_t r);
float m_min(const t_matrix& m);
float m_mincol(const t_matrix& m, std::int32_t c);
float m_minrow(const t_matrix& m, std::int32_t r);
float m_max(const t_matrix& m);
float m_maxcol(const t_matrix& m, std::int32_t c);
float m_maxrow(const t_matrix& m, std::int32_t r);
std::int32_t m_nbzeros(const t_matrix& m);
std::int32_t m_nbzeroscol(const t_matrix& m, std::int32_t c);
std::int32_t m_nbzerosrow(const t_matrix& m, std::int32_t r);
std::int32_t m_nbpositive(const t_matrix& m);
std::int32_t m_nbpositivecol(const t_matrix& m, std::int32_t c);
std::int32_t m_nbpositiverow(const t_matrix& m, std::int32_t r);
std::int32_t m_nbnegative(const t_matrix& m);
std::int32_t m_nbnegativecol(const t_matrix& m, std::int32_t c);
std::int32_t m_nbnegativerow(const t_matrix& m, std::int32_t r);

// Comparisons, exact (no tolerance); a NaN is never equal.
// True when every element equals x. Not allocated: 2001
// "m_isEqual_scalar::matrix not allocated".
bool m_isequal_scalar(const t_matrix& a, float x);
// True when a and b agree element by element. Errors: either not allocated,
// 2001 "m_isEqual::matrix not allocated"; shapes differ, 202
// "m_isEqual::matrices are not the same size".
bool m_isequal(const t_matrix& a, const t_matrix& b);
// A matrix that is not square is not symmetric. Not allocated: 2001
// " m_isSymmetric::matrix not allocated" (with its leading blank). Compares
// with its transpose, made by m_init, which then remembers cols x rows.
bool m_issymmetric(const t_matrix& a);

// Structured parts of a matrix. k: the diagonal j - i = k (omitted: 0).
// The k-th diagonal, made with v_init. Errors: 2001 "m_diag::matrix not
// allocated"; k <= -rows or k >= cols, 203 "m_diag::diag is not defined".
t_vector m_diag(const t_matrix& m, std::optional<std::int32_t> k = std::nullopt);
// The entries with j - i >= k (m_tril: <= k), zeros elsewhere, made with
// m_init. Not allocated: 2001 "m_triu::matrix not allocated" ("m_tril::...").
t_matrix m_triu(const t_matrix& m, std::optional<std::int32_t> k = std::nullopt);
t_matrix m_tril(const t_matrix& m, std::optional<std::int32_t> k = std::nullopt);
// Main diagonal and superdiagonal, zeros elsewhere, made with m_init. Not
// allocated: 2001 "m_bidiag_up::matrix not allocated".
t_matrix m_bidiag_up(const t_matrix& m);
// Main diagonal and subdiagonal, likewise. Not allocated: 2001
// "m_bidiag_low::matrix not allocated".
t_matrix m_bidiag_low(const t_matrix& m);

// Generators; these create their storage directly and leave the remembered
// sizes of m_init alone.
// The identity of order n. Errors: n < 1, 201 "m_identity::matrix size is
// nil or negative"; storage, 2001 "m_identity::allocate error".
t_matrix m_identity(std::int32_t n);
// The diagonal matrix of d. Errors: d empty, 202 "mc_diag::size vector must
// be superior or equal 1"; storage, 2001 "allocate error" (no prefix).
t_matrix mc_diag(std::span<const float> d);
// a on the diagonal, b on the SUPERdiagonal (i, i+1). Errors: n < 2, 202
// "mc_bidiag_low::size vector must be superior or equal 2"; storage, 2001
// "mc_bidiag_low::allocate error".
t_matrix mc_bidiag_low(float a, float b, std::int32_t n);
// a on the diagonal, b on the SUBdiagonal (i+1, i). Errors as
// mc_bidiag_low's, named "mc_bidiag_up::...".
t_matrix mc_bidiag_up(float a, float b, std::int32_t n);
// a on the diagonal, b on the subdiagonal, c on the superdiagonal. Errors as
// mc_bidiag_low's, named "mc_tridiag::...".
t_matrix mc_tridiag(float a, float b, float c, std::int32_t n);
// m becomes n x n random (continuing the random sequence) with each diagonal
// element replaced by its row sum plus 1. Errors: n < 1, 201
// "mc_diagDominant::matrix index is nil or negative"; storage, 2001
// "mc_diagDominant::allocate error".
void mc_diagdominant(t_matrix& m, std::int32_t n, float low, float high);
// Only the elements above the diagonal are drawn; the diagonal counts as 0.0
// in its row sum. Errors as mc_diagdominant's, named
// "mc_diagDominantSymmetric::...".
void mc_diagdominantsymmetric(t_matrix& m, std::int32_t n, float low, float high);

}  // namespace orvik
