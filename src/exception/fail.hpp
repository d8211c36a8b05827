#pragma once
// The checks-and-message helper every module reports through.

#include <orvik/exception.hpp>

#include <string_view>

namespace orvik::detail {

// Copies `message` into `buffer`, blank padded to 100 characters or cut
// after the 100th.
void fill_message(t_message& buffer, std::string_view message) noexcept;

// Fills `buffer` and calls e_error with `number` as number and level.
[[noreturn]] void fail(t_message& buffer, std::string_view message, std::int32_t number);

}  // namespace orvik::detail
