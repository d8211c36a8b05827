#include "utility/text_reader.hpp"

#include "utility/io_failure.hpp"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
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
  // A copy on the stack (D exponents become E, and strtof needs the end
  // mark), so that reading a value never asks for memory.
  std::array<char, text_reader::max_token + 1> text;  // filled only as far as the token goes
  if (token.size() >= text.size()) return false;
  text[token.size()] = '\0';
  for (std::size_t k = 0; k < token.size(); ++k) {
    const char c = token[k];
    text[k] = (c == 'd' || c == 'D') ? 'E' : c;
  }
  const char* first = text.data();
  const char* last = first + token.size();
  float parsed = 0.0f;
  const auto [end, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
  if (end != last) return false;
  if (ec == std::errc::result_out_of_range) {
    // Beyond the float32 range: overflow gives an infinity, underflow the
    // nearest subnormal or zero, as strtof rounds them.
    parsed = std::strtof(first, nullptr);
  } else if (ec != std::errc()) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

std::string quoted_excerpt(std::string_view token, bool truncated, std::size_t limit) {
  std::string text = "\"";
  if (token.size() > limit) {
    token = token.substr(0, limit);
    truncated = true;
  }
  for (const char c : token) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      text += c;
    } else {
      static constexpr char hex[] = "0123456789abcdef";
      text += "\\x";
      text += hex[byte >> 4];
      text += hex[byte & 0xf];
    }
  }
  text += '"';
  if (truncated) text.insert(text.size() - 1, "...");
  return text;
}

namespace {

std::FILE* open_for_reading(std::string_view filename) {
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::path(filename), ec)) {
    file_failure(filename, "cannot be opened for reading (it is a directory)");
  }
  std::FILE* file = std::fopen(std::string(filename).c_str(), "rb");
  if (file == nullptr) file_failure(filename, "cannot be opened for reading");
  return file;
}

}  // namespace

text_reader::text_reader(std::string_view filename) : filename_(filename) { file_ = open_for_reading(filename); }

text_reader::~text_reader() {
  if (file_ != nullptr) std::fclose(file_);
}

int text_reader::get() {
  if (begin_ == end_) {
    if (file_ == nullptr) return EOF;
    errno = 0;
    const std::size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (n == 0) {
      if (std::ferror(file_) != 0) {
        const int error = errno;
        std::string problem = "could not be read";
        if (error != 0) {
          problem += " (";
          problem += std::strerror(error);
          problem += ')';
        }
        file_failure(filename_, problem);
      }
      return EOF;
    }
    begin_ = 0;
    end_ = n;
  }
  return static_cast<unsigned char>(buffer_[begin_++]);
}

bool text_reader::next_token(std::string_view& token) {
  int c = 0;
  if (skip_line_) {
    skip_line_ = false;
    do {
      c = get();
    } while (c != '\n' && c != EOF);
    if (c == EOF) return false;
    ++line_;
    mid_line_ = false;
  }
  for (;;) {
    c = get();
    if (c == EOF) return false;
    if (c == '\n') {
      ++line_;
      mid_line_ = false;
    } else if (!is_separator(static_cast<char>(c))) {
      break;
    } else {
      mid_line_ = true;
    }
  }
  mid_line_ = true;
  token_line_ = line_;
  std::size_t size = 0;
  for (;;) {
    if (size == token_.size()) {
      bad_token(std::string_view(token_.data(), size), true, "is too long to be a number");
    }
    token_[size++] = static_cast<char>(c);
    c = get();
    if (c == EOF) break;
    if (c == '\n') {
      // The line end closes the token; the next read starts a new line.
      ++line_;
      mid_line_ = false;
      break;
    }
    if (is_separator(static_cast<char>(c))) break;
  }
  token = std::string_view(token_.data(), size);
  return true;
}

void text_reader::bad_token(std::string_view token, bool truncated, std::string_view what) const {
  file_failure(filename_, "line " + std::to_string(token_line_) + ": " + quoted_excerpt(token, truncated) + " " +
                              std::string(what));
}

bool text_reader::read_int(std::int32_t& value) {
  std::string_view token;
  if (!next_token(token)) return false;
  if (!parse_int(token, value)) bad_token(token, false, "is not an integer");
  return true;
}

bool text_reader::read_real(float& value) {
  std::string_view token;
  if (!next_token(token)) return false;
  if (!parse_real(token, value)) bad_token(token, false, "is not a number");
  return true;
}

std::int32_t text_reader::count_lines() {
  std::int32_t count = 0;
  bool partial = mid_line_;
  for (int c = get(); c != EOF; c = get()) {
    if (c == '\n') {
      ++count;
      partial = false;
    } else {
      partial = true;
    }
  }
  return partial ? count + 1 : count;
}

}  // namespace orvik::detail
