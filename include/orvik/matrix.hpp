#pragma once
// Matrices: the record, its lifecycle and text file, printing, element and
// block access, arithmetic and products, reductions, structured matrices and
// generators. Element (i, j) is elements[(j-1)*rows + (i-1)]; the operations
// take 1-based indices.

#include <orvik/vector.hpp>

#include <cstdint>
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
std::int32_t m_getsizerows(const t_matrix& m);
std::int32_t m_getsizecols(const t_matrix& m);
std::int32_t m_getsize(const t_matrix& m);

// --- printing -------------------------------------------------------------------
void m_print(const t_matrix& m);
void m_print_tofile(const t_matrix& m, std::string_view filename, std::optional<std::int32_t> unit = std::nullopt,
                    std::optional<std::string_view> status = std::nullopt,
                    std::optional<std::string_view> position = std::nullopt);

// --- access, arithmetic, reductions, structured matrices --------------------------
// (declared below by topic)

}  // namespace orvik
