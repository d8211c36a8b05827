// libFuzzer target of the vector text reader (v_init_fromfile).

#include <orvik/exception.hpp>
#include <orvik/vector.hpp>

#include "fuzz_input.hpp"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (orvik::fuzz::header_too_large(data, size, 1)) return 0;
  const std::string& path = orvik::fuzz::write_input(data, size);
  // Refusals (a bad count, a value that is not a number) are expected
  // outcomes; they arrive as exceptions instead of process stops.
  orvik::raising_scope raising;
  try {
    orvik::t_vector v;
    orvik::v_init_fromfile(v, path);
    if (v.allocated && v.elements.size() != static_cast<std::size_t>(v.size)) std::abort();
  } catch (const orvik::error&) {
  } catch (const orvik::file_error&) {
  }
  return 0;
}
