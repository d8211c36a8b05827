#include <orvik/utility.hpp>

#include "exception/fail.hpp"
#include "utility/text_reader.hpp"

#include <filesystem>
#include <string>
#include <system_error>

namespace orvik {

bool u_is_exist_file(std::string_view filename) {
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::path(filename), ec)) return true;
  std::string message = "u_is_exist_file::";
  message.append(filename);
  message += " not exist";
  detail::fail(u_what_exception, message, 3001);
}

std::int32_t u_nbline(std::string_view filename) {
  u_is_exist_file(filename);
  detail::text_reader in(filename);
  return in.count_lines();
}

}  // namespace orvik
