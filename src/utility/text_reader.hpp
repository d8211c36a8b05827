#pragma once
// The one reader of the library's text files (matrix and vector files).
//
// Values are read in statements, as a list-directed reader does: a statement
// starts at the beginning of a new line and may run on over following lines;
// whatever is left on the line where it ends is skipped by the next
// statement. Values are separated by blanks, tabs, commas or line ends.
// Numbers may be integers, fixed-point or exponent forms (E, e, D or d), with
// an optional sign, or Infinity, Inf, NaN in any letter case.

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace orvik::detail {

class text_reader {
 public:
  // Opens the file for reading; a file that cannot be opened is reported
  // through file_failure.
  explicit text_reader(std::string_view filename);

  // The next read starts at the beginning of the line after the current one.
  void next_statement() noexcept { have_line_ = false; }

  // Next value of the current statement; false when the file ends first.
  // A token that is not an integer (not a number) is reported through
  // file_failure.
  bool read_int(std::int32_t& value);
  bool read_real(float& value);

 private:
  bool next_token(std::string_view& token);

  std::ifstream in_;
  std::string filename_;
  std::string line_;
  std::size_t pos_ = 0;
  bool have_line_ = false;
  long line_number_ = 0;
};

// Opens a text file for reading; a file that cannot be opened (or is a
// directory) is reported through file_failure.
std::ifstream open_text_input(std::string_view filename);

// Parses a whole token as the reader does; false when it is not a number.
bool parse_real(std::string_view token, float& value);
bool parse_int(std::string_view token, std::int32_t& value);

}  // namespace orvik::detail
