#pragma once
// The one writer of the library's text files (matrix, vector and
// factorization files), with the open settings the file routines take.
//
// status: "unknown" (default) creates a missing file or opens an existing
// one, "replace" the same, "new" refuses an existing file, "old" a missing
// one. position: "rewind" (default) and "asis" start at the beginning, so
// the file then holds only what was written; "append" adds to the end.
// Both texts count their first 10 characters, trailing blanks and letter
// case ignored. A file that cannot be opened or written, or a setting not
// in these lists, is reported through file_failure.

#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::detail {

class text_writer {
 public:
  text_writer(std::string_view filename, std::optional<std::string_view> status,
              std::optional<std::string_view> position);
  ~text_writer();
  text_writer(const text_writer&) = delete;
  text_writer& operator=(const text_writer&) = delete;

  // Writes `line` and an end of line.
  void line(std::string_view text);
  // Flushes and closes, reporting a failed write.
  void close();

 private:
  std::ofstream out_;
  std::string filename_;
};

}  // namespace orvik::detail
