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
// `n` omitted: the remembered size (initially 2); a given `n` replaces it
// before any check.
void v_init(t_vector& v, std::optional<std::int32_t> n = std::nullopt);
void v_resize(t_vector& v, std::int32_t n);
// Values missing because the file ends early are 0.0; a file without a
// count leaves v without storage. `unit` is accepted and otherwise unused.
void v_init_fromfile(t_vector& v, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt);
// n = 0 gives an allocated vector without elements; a negative n stops (201).
t_vector v_zeros(std::int32_t n);
t_vector v_ones(std::int32_t n);
void v_init_value(t_vector& v, float value);
void v_affect(t_vector& v, float value);
void vc_random(t_vector& v, std::optional<float> low = std::nullopt, std::optional<float> high = std::nullopt);
void v_destruct(t_vector& v);
// A vector written out: v_fromvalues({1, 2.5f, -3}). Made with v_init, so
// the remembered size becomes its size. No values: 201
// "v_fromvalues::positive size expected", and the remembered size is kept.
t_vector v_fromvalues(std::initializer_list<float> values);
std::int32_t v_size(const t_vector& v);
float v_get(const t_vector& v, std::int32_t index);
void v_set(t_vector& v, std::int32_t index, float value);
std::vector<float> v_get_v(const t_vector& v);
// Bounds omitted: the remembered ones (initially 1 and 1). Given bounds are
// remembered before the checks: v must hold storage and 1 <= first, last <= size.
t_vector v_extract(const t_vector& v, std::optional<std::int32_t> first = std::nullopt,
                   std::optional<std::int32_t> last = std::nullopt);
void v_add_val_end(t_vector& v, float value);

// --- arithmetic ---------------------------------------------------------------
t_vector v_add(const t_vector& x, const t_vector& y);
t_vector v_minus(const t_vector& x, const t_vector& y);
t_vector v_prod_vec(const t_vector& x, const t_vector& y);
t_vector v_prod_scalar1(const t_vector& v, float value);
t_vector v_prod_scalar2(float value, const t_vector& v);
t_vector v_div_scalar(const t_vector& v, float value);
t_vector v_inverse(const t_vector& v);
// a*x + b*y; with y given and b omitted, b is 1.0; without y, a*x.
t_vector v_axpby(float a, const t_vector& x, std::optional<float> b = std::nullopt,
                 const std::optional<t_vector>& y = std::nullopt);
t_vector v_cross(const t_vector& x, const t_vector& y);
void v_normalize(t_vector& v);

// --- reductions -----------------------------------------------------------------
// Unequal sizes stop (202) rather than reading past the end of y.
float v_dot(const t_vector& x, const t_vector& y);
// p omitted: 2; p = 0: the largest absolute value.
float v_norm(const t_vector& v, std::optional<std::int32_t> p = std::nullopt);
float v_length(const t_vector& v);
float v_sqrlength(const t_vector& v);
float v_sum(const t_vector& v);
float v_prod(const t_vector& v);
// |v(size)|, the absolute value of the last element only (0.0 when empty).
float v_abs(const t_vector& v);
float v_min(const t_vector& v);
float v_max(const t_vector& v);
std::int32_t v_nbzeros(const t_vector& v);
std::int32_t v_nbpositive(const t_vector& v);
std::int32_t v_nbnegative(const t_vector& v);
bool v_isequal(const t_vector& x, const t_vector& y);
bool v_isequal_scalar(const t_vector& v, float value);

// --- printing -------------------------------------------------------------------
void v_print(const t_vector& v);
void v_print_c(const t_vector& v);
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
