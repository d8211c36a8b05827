#pragma once
// Vectors: the record, its lifecycle and text file, arithmetic, reductions
// and printing. Element i is elements[i-1]; the operations take 1-based
// indices.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace orvik {

struct t_vector {
  std::int32_t size = 1;
  std::vector<float> elements;  // exactly `size` values while allocated
  bool allocated = false;
};

// --- record and lifecycle ---------------------------------------------------
// v gets n zeros, releasing what it held. `n` omitted: the remembered size
// (initially 2); a given `n` replaces it before any check. Errors: below 1,
// 201 "v_init::positive size expected"; storage, 2001 "v_init::vector
// allocate error".
void v_init(t_vector& v, std::optional<std::int32_t> n = std::nullopt);
// v gets n zeros (old values dropped); the remembered size stays. Errors:
// n < 1, 201 "v_resize::positive size expected"; storage, 2001
// "v_resize::vector allocate error".
void v_resize(t_vector& v, std::int32_t n);
// v read from a vector file (the count, then the values). Errors: missing
// file, 3001 "u_is_exist_file::<name> not exist" before v is touched; count
// below 1, 201 "v_init_fromfile::positive size expected"; storage, 2001
// "v_init_fromfile::vector allocate error". Values missing because the file
// ends early are 0.0; a file without a count leaves v without storage; an
// unreadable file or a value that is not a number ends with exit status 2.
// The remembered size stays; `unit` is accepted and otherwise unused.
void v_init_fromfile(t_vector& v, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt);
// n zeros, made directly (the remembered size stays). n = 0 gives an
// allocated vector without elements; a negative n stops with 201
// "v_zeros::vector size is nil or negative"; storage, 2001 "v_zeros::vector
// allocate error".
t_vector v_zeros(std::int32_t n);
// n ones, made directly. Errors: n < 1, 201 "v_ones::vector size is nil or
// negative"; storage, 2001 "v_ones::allocate error".
t_vector v_ones(std::int32_t n);
// Every element becomes value. Not allocated: 2001 "v_init_value::vector not
// allocate yet" (v_affect: "v_affect::vector not allocated").
void v_init_value(t_vector& v, float value);
void v_affect(t_vector& v, float value);
// Element i becomes low + r (high - low), r from the process-wide random
// source (reseeded from the clock for odd i). low omitted: 1.0; high
// omitted: size. Not allocated: 2001 "vc_random::vector not allocate yet".
void vc_random(t_vector& v, std::optional<float> low = std::nullopt, std::optional<float> high = std::nullopt);
// Releases the storage; size keeps its value. Nothing happens to an
// unallocated v; one marked allocated without storage stops with 2002
// "v_destruct::vector deallocate error".
void v_destruct(t_vector& v);
// A vector written out: v_fromvalues({1, 2.5f, -3}). Made with v_init, so
// the remembered size becomes its size. No values: 201
// "v_fromvalues::positive size expected", and the remembered size is kept.
t_vector v_fromvalues(std::initializer_list<float> values);
// size. Not allocated: 2001 "v_size::vector not allocated".
std::int32_t v_size(const t_vector& v);
// Element index. Errors: 2001 "v_get::vector not allocated"; index outside
// 1..size, 201 "v_get::vector size nil or negative".
float v_get(const t_vector& v, std::int32_t index);
// Element index becomes value. Errors: 2001 "v_set::vector not allocated";
// index outside 1..size, 201 "v_set::vector size nil or negative".
void v_set(t_vector& v, std::int32_t index, float value);
// A copy of the elements. Not allocated: 2001 "v_get_v::vector not
// allocated".
std::vector<float> v_get_v(const t_vector& v);
// Elements first..last, made with v_init. Bounds omitted: the remembered
// ones (initially 1 and 1); given bounds are remembered before the checks.
// Errors, all 2001: v not allocated, "v_extract::vector not allocated"; a
// bound below 1, "v_extract::positive boundary expected"; a bound past size,
// "v_extract::inconsistent boundary"; last < first: 201 from v_init.
t_vector v_extract(const t_vector& v, std::optional<std::int32_t> first = std::nullopt,
                   std::optional<std::int32_t> last = std::nullopt);
// v grows by one element holding value (no spare capacity: each call copies
// the vector). Errors: 2001 "v_add_val_end::vector not allocated"; storage,
// 2001 "v_add_val_end::vector allocate error".
void v_add_val_end(t_vector& v, float value);

// --- arithmetic ---------------------------------------------------------------
// Results of the arithmetic are made with v_init (size of x), so they leave
// its remembered size, except v_cross.
// x + y elementwise. Errors: either not allocated, 2001 "v_add::vector not
// allocated"; sizes differ, 202 "v_add::vectors are not the same size".
t_vector v_add(const t_vector& x, const t_vector& y);
// x - y, with the errors of v_add named "v_minus::...".
t_vector v_minus(const t_vector& x, const t_vector& y);
// x * y elementwise. Errors: 2001 "v_prod_vec::vector not allocated"; sizes
// differ, 202 "v_prod_vec::vector must have the same size".
t_vector v_prod_vec(const t_vector& x, const t_vector& y);
// value * v (both orders of the arguments). Not allocated: 2001
// "v_prod_scalar1::vector not allocated" ("v_prod_scalar2::...").
t_vector v_prod_scalar1(const t_vector& v, float value);
t_vector v_prod_scalar2(float value, const t_vector& v);
// v / value; 0.0 and -0.0 are refused. Errors: 2001 "v_div_scalar::vector
// not allocated", then 101 "v_div_scalar::can not divide by zero".
t_vector v_div_scalar(const t_vector& v, float value);
// 1 / v elementwise. Errors: 2001 "v_inverse::vector not allocated"; a zero
// element, 2001 "v_inverse::one of vector element is null".
t_vector v_inverse(const t_vector& v);
// a*x + b*y; with y given and b omitted, b is 1.0; without y, a*x. Made
// with v_init. Errors: x, then y, not allocated, 2001
// "v_axpby::vector not allocated"; sizes differ, 202 "v_axpby::vector must
// have the same size".
t_vector v_axpby(float a, const t_vector& x, std::optional<float> b = std::nullopt,
                 const std::optional<t_vector>& y = std::nullopt);
// The cross product of two 3-vectors, made without v_init (the remembered
// size stays). Errors: either not allocated, 2001 "v_cross::vector not
// allocated"; a size other than 3, 202 "v_cross::vectors have not the same
// size or are not 3-dimensional vectors".
t_vector v_cross(const t_vector& x, const t_vector& y);
// v becomes v / v_length(v) in place (a zero vector gives NaN). Not
// allocated: 2001 "v_normalize::vector not allocated".
void v_normalize(t_vector& v);

// --- reductions -----------------------------------------------------------------
// Reductions leave no remembered state.
// The fused running sum of x(i) y(i). Errors: either not allocated, 2001
// "v_dot::vector not allocated"; unequal sizes stop (202 "v_dot::vectors are
// not the same size") rather than reading past the end of y.
float v_dot(const t_vector& x, const t_vector& y);
// (sum |v(i)|^p)^(1/p); p omitted: 2; p = 0: the largest absolute value
// (-3.4028235e38 for an empty vector). Not allocated: 2001 "v_norm::vector
// not allocated".
float v_norm(const t_vector& v, std::optional<std::int32_t> p = std::nullopt);
// sqrt(v_dot(v, v)); v_sqrlength without the root. Not allocated: 2001
// "v_length::vector not allocated" ("v_sqrLength::...").
float v_length(const t_vector& v);
float v_sqrlength(const t_vector& v);
// The sum held wide and rounded once (v_prod: the running product). Not
// allocated: 2001 "v_sum::vector not allocated" ("v_prod::...").
float v_sum(const t_vector& v);
float v_prod(const t_vector& v);
// |v(size)|, the absolute value of the last element only (0.0 when empty).
// Not allocated: 2001 "v_abs::vector not allocated".
float v_abs(const t_vector& v);
// The smallest (v_max: largest) element, NaN never chosen. Not allocated:
// 2001 "v_min::vector not allocated" ("v_max::...").
float v_min(const t_vector& v);
float v_max(const t_vector& v);
// The number of elements == 0, > 0, < 0 (NaN never counts). Not allocated:
// 2001 "v_nbzeros::vector not allocated" ("v_nbpositive::...",
// "v_nbnegative::...").
std::int32_t v_nbzeros(const t_vector& v);
std::int32_t v_nbpositive(const t_vector& v);
std::int32_t v_nbnegative(const t_vector& v);
// Exact comparisons; a NaN is never equal. Errors: either not allocated,
// 2001 "v_isEqual::vector not allocated"; sizes differ, 202
// "v_isEqual::vectors are not the same size".
bool v_isequal(const t_vector& x, const t_vector& y);
// Every element equals value. Not allocated: 2001 "v_isEqual_scalar::vector
// not allocated".
bool v_isequal_scalar(const t_vector& v, float value);

// --- printing -------------------------------------------------------------------
// One free-format line of all values on standard output (v_print_c: one
// line per value). Not allocated: 2001 "v_print::vector not allocated"
// ("v_print_c::...").
void v_print(const t_vector& v);
void v_print_c(const t_vector& v);
// The vector file: the count, then one line of "(f0.8)" values separated by
// blanks (v_print_c_tofile: one value per line). Settings as
// m_print_tofile's. Not allocated: 2001 "v_print_tofile::vector not
// allocated" ("v_print_c_tofile::..."), before anything is opened.
void v_print_tofile(const t_vector& v, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                    std::optional<std::string_view> status = std::nullopt,
                    std::optional<std::string_view> position = std::nullopt);
void v_print_c_tofile(const t_vector& v, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                      std::optional<std::string_view> status = std::nullopt,
                      std::optional<std::string_view> position = std::nullopt);
// The layout of v_print_tofile (count line, then one line of values), each
// value as the shortest text that v_init_fromfile reads back as the same
// float; a NaN keeps its sign but not its payload. Error: v not allocated,
// 2001 "v_save_tofile::vector not allocated", before the file is opened.
void v_save_tofile(const t_vector& v, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                   std::optional<std::string_view> status = std::nullopt,
                   std::optional<std::string_view> position = std::nullopt);

}  // namespace orvik
