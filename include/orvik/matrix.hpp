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
// Sizes omitted: the remembered ones (initially 2 and 2); a given size
// replaces the remembered one before any check, so a bad value sticks.
void m_init(t_matrix& m, std::optional<std::int32_t> rows = std::nullopt,
            std::optional<std::int32_t> cols = std::nullopt);
void m_resize(t_matrix& m, std::int32_t rows, std::int32_t cols);
// 0 rows or columns give an allocated matrix without elements; negative
// sizes are refused.
t_matrix m_zeros(std::int32_t rows, std::int32_t cols);
void m_init_fromfile(t_matrix& m, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt);
void m_minit_value(t_matrix& m, float value);
void m_affect(t_matrix& m, float value);
// low omitted: 1.0; high omitted: the larger of rows and cols.
void mc_random(t_matrix& m, std::optional<float> low = std::nullopt, std::optional<float> high = std::nullopt);
void m_destruct(t_matrix& m);
// A matrix written out row by row: m_fromrows({{1, 2, 3}, {4, 5, 6}}) is
// 2 x 3. Made with m_init, so the remembered sizes become its shape. Errors,
// in this order: no rows, 201 "m_fromrows::row is nil or negative"; an
// empty first row, 201 "m_fromrows::column is nil or negative"; rows of
// unequal length, 202 "m_fromrows::rows are not the same size". A refused
// literal leaves the remembered sizes alone.
t_matrix m_fromrows(std::initializer_list<std::initializer_list<float>> rows);
std::int32_t m_getsizerows(const t_matrix& m);
std::int32_t m_getsizecols(const t_matrix& m);
std::int32_t m_getsize(const t_matrix& m);

// --- printing -------------------------------------------------------------------
void m_print(const t_matrix& m);
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
float m_get(const t_matrix& m, std::int32_t i, std::int32_t j);
void m_set(t_matrix& m, std::int32_t i, std::int32_t j, float value);
// Row i, columns 1 to cols.
std::vector<float> m_getrow(const t_matrix& m, std::int32_t i);
// Column j, rows 1 to rows.
std::vector<float> m_getcol(const t_matrix& m, std::int32_t j);
// A copy of all elements, column-major like `elements`.
std::vector<float> m_get_m(const t_matrix& m);
// The rows one after the other (row-major), through v_init.
t_vector m_matrixtovector(const t_matrix& m);
// Inclusive bounds; an omitted bound is the remembered one (initially 1), and
// a given bound replaces it before any check. A matrix without storage is
// refused once the bounds are remembered.
t_matrix m_extract(const t_matrix& m, std::optional<std::int32_t> row_first = std::nullopt,
                   std::optional<std::int32_t> row_last = std::nullopt,
                   std::optional<std::int32_t> col_first = std::nullopt,
                   std::optional<std::int32_t> col_last = std::nullopt);
// Overwrites the block of m with m_sub. Omitted bounds are not remembered:
// first row 1, last row rows of m, first column 1, last column cols of m.
void m_setsub(t_matrix& m, std::optional<std::int32_t> row_first, std::optional<std::int32_t> row_last,
              std::optional<std::int32_t> col_first, std::optional<std::int32_t> col_last, const t_matrix& m_sub);
void m_setsub(t_matrix& m, const t_matrix& m_sub);

// Elementwise arithmetic, transpose and products. Results are made through
// m_init / v_init, so they leave the remembered sizes at their shape.
t_matrix m_trans(const t_matrix& m);
t_matrix m_add(const t_matrix& m1, const t_matrix& m2);
t_matrix m_minus(const t_matrix& m1, const t_matrix& m2);
// 0.0 and -0.0 are refused; any other value, NaN included, divides.
t_matrix m_div_scalar(const t_matrix& m, float value);
t_matrix m_prod_scalar1(float value, const t_matrix& m);
t_matrix m_prod_scalar2(const t_matrix& m, float value);
// m * v by row dot products.
t_vector m_prod_vec1(const t_matrix& m, const t_vector& v);
// m * v by column accumulation; may differ from m_prod_vec1 in the last bits.
t_vector m_prod_vec_c(const t_matrix& m, const t_vector& v);
// The row vector v times m.
t_vector m_prod_vec2(const t_vector& v, const t_matrix& m);
t_matrix m_prod_mat(const t_matrix& m1, const t_matrix& m2);

// Reductions and counts: whole matrix, one column, one row. Sums are held
// wide and rounded once; NaN never counts and is never a minimum or maximum;
// minima start at the largest finite float and maxima at its negative.
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

// Comparisons, exact (no tolerance).
bool m_isequal_scalar(const t_matrix& a, float x);
// Shapes must agree (error 202 otherwise).
bool m_isequal(const t_matrix& a, const t_matrix& b);
// A matrix that is not square is not symmetric.
bool m_issymmetric(const t_matrix& a);

// Structured parts of a matrix. k: the diagonal j - i = k (omitted: 0).
t_vector m_diag(const t_matrix& m, std::optional<std::int32_t> k = std::nullopt);
t_matrix m_triu(const t_matrix& m, std::optional<std::int32_t> k = std::nullopt);
t_matrix m_tril(const t_matrix& m, std::optional<std::int32_t> k = std::nullopt);
// Main diagonal and superdiagonal.
t_matrix m_bidiag_up(const t_matrix& m);
// Main diagonal and subdiagonal.
t_matrix m_bidiag_low(const t_matrix& m);

// Generators; these create their storage directly and leave the remembered
// sizes of m_init alone.
t_matrix m_identity(std::int32_t n);
t_matrix mc_diag(std::span<const float> d);
// a on the diagonal, b on the SUPERdiagonal (i, i+1).
t_matrix mc_bidiag_low(float a, float b, std::int32_t n);
// a on the diagonal, b on the SUBdiagonal (i+1, i).
t_matrix mc_bidiag_up(float a, float b, std::int32_t n);
// a on the diagonal, b on the subdiagonal, c on the superdiagonal.
t_matrix mc_tridiag(float a, float b, float c, std::int32_t n);
// m becomes n x n random (continuing the random sequence) with each diagonal
// element replaced by its row sum plus 1.
void mc_diagdominant(t_matrix& m, std::int32_t n, float low, float high);
// Only the elements above the diagonal are drawn; the diagonal counts as 0.0
// in its row sum.
void mc_diagdominantsymmetric(t_matrix& m, std::int32_t n, float low, float high);

}  // namespace orvik
