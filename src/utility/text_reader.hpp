#pragma once
// The one reader of the library's text files (matrix and vector files).
//
// Values are read in statements, as a list-directed reader does: a statement
// starts at the beginning of a new line and may run on over following lines;
// whatever is left on the line where it ends is skipped by the next
// statement. Values are separated by blanks, tabs, commas or line ends.
// Numbers may be integers, fixed-point or exponent forms (E, e, D or d), with
// an optional sign, or Infinity, Inf, NaN in any letter case.
//
// The file is read through a fixed buffer and only the current token is
// kept, so a file of any size (or one that never ends) reads in bounded
// memory. A failed read is told apart from the end of the file and reported
// like any other file problem.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace orvik::detail {

class text_reader {
 public:
  // The longest token read; no number the library writes comes near it.
  static constexpr std::size_t max_token = 4096;

  // Opens the file for reading; a file that cannot be opened is reported
  // through file_failure.
  explicit text_reader(std::string_view filename);
  ~text_reader();
  text_reader(const text_reader&) = delete;
  text_reader& operator=(const text_reader&) = delete;

  // The next read starts at the beginning of the line after the current one.
  void next_statement() noexcept { skip_line_ = mid_line_; }

  // Next value of the current statement; false when the file ends first.
  // A token that is not an integer (not a number), or is longer than
  // max_token, and a read that fails are reported through file_failure.
  bool read_int(std::int32_t& value);
  bool read_real(float& value);

  // The lines from the current position to the end of the file; a last line
  // without its end of line counts too.
  std::int32_t count_lines();

 private:
  // The next byte, or EOF at the end of the file.
  int get();
  bool next_token(std::string_view& token);
  [[noreturn]] void bad_token(std::string_view token, bool truncated, std::string_view what) const;

  std::FILE* file_ = nullptr;
  std::string filename_;
  std::array<char, 16384> buffer_{};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::array<char, max_token> token_{};
  bool mid_line_ = false;   // some of the current line has been read
  bool skip_line_ = false;  // the rest of the current line is to be skipped
  long line_ = 1;           // the line the reading position is on
  long token_line_ = 0;     // the line of the last token
};

// Parses a whole token as the reader does; false when it is not a number.
bool parse_real(std::string_view token, float& value);
bool parse_int(std::string_view token, std::int32_t& value);

// At most `limit` characters of `token` for a message, bytes that would not
// print shown as \xNN, and "..." when the token was cut (or `truncated`).
std::string quoted_excerpt(std::string_view token, bool truncated = false, std::size_t limit = 32);

}  // namespace orvik::detail
