#include "utility/io_failure.hpp"

#include "common/output.hpp"

#include <string>

namespace orvik::detail {

void file_failure(std::string_view filename, std::string_view problem) {
  std::string line = "orvik: file \"";
  line.append(filename);
  line += "\": ";
  line.append(problem);
  io_stop(line);
}

}  // namespace orvik::detail
