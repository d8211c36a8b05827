#pragma once
// The method texts of the factorization dispatchers: trailing blanks do not
// count, letter case does.

#include <optional>
#include <string_view>

namespace orvik::detail {

inline bool method_is(std::optional<std::string_view> method, std::string_view name) {
  if (!method) return false;
  std::string_view text = *method;
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text == name;
}

}  // namespace orvik::detail
