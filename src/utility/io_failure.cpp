#include "utility/io_failure.hpp"

#include <orvik/exception.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvik::detail {

void file_failure(std::string_view filename, std::string_view problem) {
  std::string line = "orvik: file \"";
  line.append(filename);
  line += "\": ";
  line.append(problem);
  if (raising_enabled()) throw file_error(line);
  line += '\n';
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  std::exit(2);
}

}  // namespace orvik::detail
