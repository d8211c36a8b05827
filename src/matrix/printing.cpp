// Matrix printing on standard output and to the text file m_init_fromfile
// reads, in "(f0.8)" form or losslessly.

#include <orvik/matrix.hpp>

#include "common/number_format.hpp"
#include "common/output.hpp"
#include "matrix/matrix_internal.hpp"
#include "utility/text_writer.hpp"

#include <string>

namespace orvik {

void m_print(const t_matrix& m) {
  detail::m_require_allocated(m, "matrix not allocated");
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    detail::print_output_line(detail::free_real_line(m.cols, [&](std::int32_t j) { return detail::at(m, i, j); }));
  }
}

void m_print_tofile(const t_matrix& m, std::string_view filename, std::optional<std::int32_t> /*unit*/,
                    std::optional<std::string_view> status, std::optional<std::string_view> position) {
  detail::m_require_allocated(m, "m_print_tofile::matrix not allocated");
  detail::text_writer out(filename, status, position);
  out.line(detail::format_int_minimal(m.rows) + ' ' + detail::format_int_minimal(m.cols));
  // A matrix with rows but no columns writes an empty line per row.
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    out.line(detail::fixed8_line(m.cols, [&](std::int32_t j) { return detail::at(m, i, j); }));
  }
  out.close();
}

void m_save_tofile(const t_matrix& m, std::string_view filename, std::optional<std::int32_t> /*unit*/,
                   std::optional<std::string_view> status, std::optional<std::string_view> position) {
  detail::m_require_allocated(m, "m_save_tofile::matrix not allocated");
  detail::text_writer out(filename, status, position);
  out.line(detail::format_int_minimal(m.rows) + ' ' + detail::format_int_minimal(m.cols));
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    out.line(detail::shortest_line(m.cols, [&](std::int32_t j) { return detail::at(m, i, j); }));
  }
  out.close();
}

}  // namespace orvik
