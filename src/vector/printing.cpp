// Vector printing on standard output and to the text file v_init_fromfile
// reads, in "(f0.8)" form or losslessly.

#include <orvik/vector.hpp>

#include "common/number_format.hpp"
#include "common/output.hpp"
#include "utility/text_writer.hpp"
#include "vector/vector_internal.hpp"

#include <string>

namespace orvik {

void v_print(const t_vector& v) {
  detail::v_require_allocated(v, "v_print::vector not allocated");
  // An empty vector still writes its line: the single leading blank.
  detail::print_output_line(detail::free_real_line(v.size, [&](std::int32_t i) { return detail::at(v, i); }));
}

void v_print_c(const t_vector& v) {
  detail::v_require_allocated(v, "v_print_c::vector not allocated");
  for (std::int32_t i = 1; i <= v.size; ++i) {
    detail::print_output_line(detail::free_real_line(1, [&](std::int32_t) { return detail::at(v, i); }));
  }
}

void v_print_tofile(const t_vector& v, std::string_view filename, std::optional<std::int32_t> /*unit*/,
                    std::optional<std::string_view> status, std::optional<std::string_view> position) {
  detail::v_require_allocated(v, "v_print_tofile::vector not allocated");
  detail::text_writer out(filename, status, position);
  out.line(detail::format_int_minimal(v.size));
  // An empty vector writes an empty value line, so the layout keeps its two lines.
  out.line(detail::fixed8_line(v.size, [&](std::int32_t i) { return detail::at(v, i); }));
  out.close();
}

void v_print_c_tofile(const t_vector& v, std::string_view filename, std::optional<std::int32_t> /*unit*/,
                      std::optional<std::string_view> status, std::optional<std::string_view> position) {
  detail::v_require_allocated(v, "v_print_c_tofile::vector not allocated");
  detail::text_writer out(filename, status, position);
  out.line(detail::format_int_minimal(v.size));
  for (std::int32_t i = 1; i <= v.size; ++i) out.line(detail::format_fixed8(detail::at(v, i)));
  out.close();
}

void v_save_tofile(const t_vector& v, std::string_view filename, std::optional<std::int32_t> /*unit*/,
                   std::optional<std::string_view> status, std::optional<std::string_view> position) {
  detail::v_require_allocated(v, "v_save_tofile::vector not allocated");
  detail::text_writer out(filename, status, position);
  out.line(detail::format_int_minimal(v.size));
  out.line(detail::shortest_line(v.size, [&](std::int32_t i) { return detail::at(v, i); }));
  out.close();
}

}  // namespace orvik
