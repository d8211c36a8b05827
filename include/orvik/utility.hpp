#pragma once
// File helpers.

#include <cstdint>
#include <string_view>

namespace orvik {

// True when the file exists; a missing file stops with error 3001
// "u_is_exist_file::<name> not exist".
bool u_is_exist_file(std::string_view filename);

// Number of lines of the file; a last line without a line end counts too.
std::int32_t u_nbline(std::string_view filename);

}  // namespace orvik
