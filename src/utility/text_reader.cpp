#include "utility/text_reader.hpp"

#include "utility/io_failure.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace orvik::detail {
namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

bool parse_int(std::string_view token, std::int32_t& value) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty()) return false;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc() && end == token.data() + token.size();
}

bool parse_real(std::string_view token, float& value) {
  bool negative = false;
  if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
    negative = token.front() == '-';
    token.remove_prefix(1);
  }
  // from_chars takes neither a sign nor hexadecimal prefixes, so the
  // remaining text must start with a digit, a point or a letter of inf/nan.
  if (token.empty() || token.front() == '+' || token.front() == '-') return false;
  std::string text(token);
  for (char& c : text) {
    if (c == 'd' || c == 'D') c = 'E';
  }
  const char* first = text.data();
  const char* last = first + text.size();
  float parsed = 0.0f;
  const auto [end, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
  if (end != last) return false;
  if (ec == std::errc::result_out_of_range) {
    // Beyond the float32 range: overflow gives an infinity, underflow the
    // nearest subnormal or zero, as strtof rounds them.
    parsed = std::strtof(text.c_str(), nullptr);
  } else if (ec != std::errc()) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

std::ifstream open_text_input(std::string_view filename) {
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::path(filename), ec)) {
    file_failure(filename, "cannot be opened for reading (it is a directory)");
  }
  std::ifstream in{std::string(filename)};
  if (!in.is_open()) file_failure(filename, "cannot be opened for reading");
  return in;
}

text_reader::text_reader(std::string_view filename) : in_(open_text_input(filename)), filename_(filename) {}

bool text_reader::next_token(std::string_view& token) {
  for (;;) {
    if (have_line_) {
      while (pos_ < line_.size() && is_separator(line_[pos_])) ++pos_;
      if (pos_ < line_.size()) {
        const std::size_t start = pos_;
        while (pos_ < line_.size() && !is_separator(line_[pos_])) ++pos_;
        token = std::string_view(line_).substr(start, pos_ - start);
        return true;
      }
    }
    if (!std::getline(in_, line_)) return false;
    ++line_number_;
    pos_ = 0;
    have_line_ = true;
  }
}

bool text_reader::read_int(std::int32_t& value) {
  std::string_view token;
  if (!next_token(token)) return false;
  if (!parse_int(token, value)) {
    file_failure(filename_,
                 "line " + std::to_string(line_number_) + ": \"" + std::string(token) + "\" is not an integer");
  }
  return true;
}

bool text_reader::read_real(float& value) {
  std::string_view token;
  if (!next_token(token)) return false;
  if (!parse_real(token, value)) {
    file_failure(filename_,
                 "line " + std::to_string(line_number_) + ": \"" + std::string(token) + "\" is not a number");
  }
  return true;
}

}  // namespace orvik::detail
