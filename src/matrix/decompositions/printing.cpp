// Factorization records written to a text file: a title line, then for each
// factor a header line and the factor's block in the matrix file layout.

#include <orvik/decompositions.hpp>

#include "utility/text_writer.hpp"

#include <initializer_list>
#include <string>

namespace orvik {
namespace {

struct factor {
  const t_matrix* matrix;
  std::string_view header;
};

void write_line(std::string_view filename, std::string_view status, std::string_view position, std::string_view text) {
  detail::text_writer out(filename, status, position);
  // A free-format line: a blank, then the text.
  std::string line = " ";
  line += text;
  out.line(line);
  out.close();
}

// Only the first open honours the caller's status and position. The later
// ones append to the file that open created; they open it as "old", since
// "new" would refuse the file just written and "replace" would truncate it.
void print_factorization(std::string_view title, std::initializer_list<factor> factors, const t_matrix& p,
                         std::string_view filename, std::optional<std::int32_t> unit,
                         std::optional<std::string_view> status, std::optional<std::string_view> position) {
  write_line(filename, status.value_or("unknown"), position.value_or("rewind"), title);
  auto print_one = [&](const t_matrix& m, std::string_view header) {
    write_line(filename, "old", "append", header);
    m_print_tofile(m, filename, unit, "old", "append");
  };
  for (const factor& f : factors) print_one(*f.matrix, f.header);
  if (p.allocated) print_one(p, "------> P (permutation) matrix :");
}

}  // namespace

void m_print_lu_tofile(const t_lu& lu, std::string_view filename, std::optional<std::int32_t> unit,
                       std::optional<std::string_view> status, std::optional<std::string_view> position) {
  print_factorization("------> LU decomposition :", {{&lu.L, "------> L matrix :"}, {&lu.U, "------> U matrix :"}},
                      lu.P, filename, unit, status, position);
}

void m_print_qr_tofile(const t_qr& qr, std::string_view filename, std::optional<std::int32_t> unit,
                       std::optional<std::string_view> status, std::optional<std::string_view> position) {
  print_factorization("------> QR decomposition :", {{&qr.Q, "------> Q matrix :"}, {&qr.R, "------> R matrix :"}},
                      qr.P, filename, unit, status, position);
}

void m_print_m_and_p_tofile(const t_m_and_p& mp, std::string_view filename, std::optional<std::int32_t> unit,
                            std::optional<std::string_view> status, std::optional<std::string_view> position) {
  print_factorization("------> M_AND_P (example:Cholesky) decomposition :", {{&mp.M, "------> M matrix :"}}, mp.P,
                      filename, unit, status, position);
}

}  // namespace orvik
