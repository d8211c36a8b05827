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
//
// A rewind is written to a temporary file in the same folder, which replaces
// the target only once it has been written, flushed and closed: a failed
// write leaves the earlier file as it was. Appending cannot be undone and is
// written in place, and so is a target that is not a regular file (a device,
// a pipe) or one whose folder takes no new file.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::detail {

class text_writer {
 public:
  text_writer(std::string_view filename, std::optional<std::string_view> status,
              std::optional<std::string_view> position);
  // Without close(), what was written is dropped: a temporary is removed.
  ~text_writer();
  text_writer(const text_writer&) = delete;
  text_writer& operator=(const text_writer&) = delete;

  // Writes `line` and an end of line.
  void line(std::string_view text);
  // Flushes and closes (and puts a rewound file in place), reporting a
  // failed write.
  void close();

 private:
  bool open_temporary(bool target_exists);
  void discard() noexcept;
  [[noreturn]] void failed(std::string_view problem, int error);

  std::FILE* file_ = nullptr;
  std::string filename_;  // as given, for the messages
  std::string target_;    // the file finally written (a symbolic link followed)
  std::string temp_;      // the temporary, empty when writing in place
};

}  // namespace orvik::detail
