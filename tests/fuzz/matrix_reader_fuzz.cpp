// libFuzzer target of the matrix text reader (m_init_fromfile).

#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>

#include "fuzz_input.hpp"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (orvik::fuzz::header_too_large(data, size, 2)) return 0;
  const std::string& path = orvik::fuzz::write_input(data, size);
  // Refusals (a bad count, a value that is not a number) are expected
  // outcomes; they arrive as exceptions instead of process stops.
  orvik::raising_scope raising;
  try {
    orvik::t_matrix m;
    orvik::m_init_fromfile(m, path);
    if (m.allocated && m.elements.size() != static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols)) {
      std::abort();
    }
  } catch (const orvik::error&) {
  } catch (const orvik::file_error&) {
  }
  return 0;
}
