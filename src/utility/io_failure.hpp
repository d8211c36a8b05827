#pragma once
// Failures the library does not check itself but that must not pass
// silently: a file that cannot be opened or created, a count or value in a
// file that is not a number. One line on standard error, exit status 2.

#include <string_view>

namespace orvik::detail {

[[noreturn]] void file_failure(std::string_view filename, std::string_view problem);

}  // namespace orvik::detail
