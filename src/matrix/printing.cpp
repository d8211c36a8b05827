// Matrix printing on standard output and to the text file m_init_fromfile reads.

#include <orvik/matrix.hpp>

#include "common/number_format.hpp"
#include "common/output.hpp"
#include "matrix/matrix_internal.hpp"
#include "utility/text_writer.hpp"

#include <string>

namespace orvik {

void m_print(const t_matrix& m) {
  detail::m_require_allocated(m, "matrix not allocated");
  std::string line;
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    line = " ";
    for (std::int32_t j = 1; j <= m.cols; ++j) {
      if (j > 1) line += ' ';
      line += detail::format_free_real(detail::at(m, i, j));
    }
    detail::print_line(line);
  }
}

void m_print_tofile(const t_matrix& m, std::string_view filename, std::optional<std::int32_t> /*unit*/,
                    std::optional<std::string_view> status, std::optional<std::string_view> position) {
  detail::m_require_allocated(m, "m_print_tofile::matrix not allocated");
  detail::text_writer out(filename, status, position);
  out.line(detail::format_int_minimal(m.rows) + ' ' + detail::format_int_minimal(m.cols));
  std::string line;
  for (std::int32_t i = 1; i <= m.rows; ++i) {
    // A matrix with rows but no columns writes an empty line per row.
    line.clear();
    for (std::int32_t j = 1; j <= m.cols; ++j) {
      if (j > 1) line += ' ';
      line += detail::format_fixed8(detail::at(m, i, j));
    }
    out.line(line);
  }
  out.close();
}

}  // namespace orvik
