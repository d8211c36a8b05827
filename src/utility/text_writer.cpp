#include "utility/text_writer.hpp"

#include "utility/io_failure.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace orvik::detail {
namespace {

namespace fs = std::filesystem;

// The setting as the open step sees it: its first 10 characters, without
// trailing blanks, in lower case.
std::string open_setting(std::string_view text) {
  std::string s(text.substr(0, std::min<std::size_t>(text.size(), 10)));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string with_reason(std::string_view problem, int error) {
  std::string text(problem);
  if (error != 0) {
    text += " (";
    text += std::strerror(error);
    text += ')';
  }
  return text;
}

}  // namespace

text_writer::text_writer(std::string_view filename, std::optional<std::string_view> status,
                         std::optional<std::string_view> position)
    : filename_(filename), target_(filename) {
  const std::string st = open_setting(status.value_or("unknown"));
  const std::string pos = open_setting(position.value_or("rewind"));
  if (st != "unknown" && st != "replace" && st != "new" && st != "old") {
    file_failure(filename_, "open status \"" + st + "\" is not accepted");
  }
  if (pos != "rewind" && pos != "asis" && pos != "append") {
    file_failure(filename_, "open position \"" + pos + "\" is not accepted");
  }
  std::error_code ec;
  const bool exists = fs::exists(fs::path(filename_), ec);
  if (st == "new" && exists) file_failure(filename_, "already exists (open status \"new\")");
  if (st == "old" && !exists) file_failure(filename_, "does not exist (open status \"old\")");
  const bool append = pos == "append" && st != "replace";
  if (!append) {
    // A rename would replace a symbolic link by a file; the file it points
    // to is the one rewritten, as an open through the link would.
    if (fs::is_symlink(fs::symlink_status(fs::path(filename_), ec))) {
      const fs::path resolved = fs::weakly_canonical(fs::path(filename_), ec);
      if (!ec) target_ = resolved.string();
    }
    const fs::file_status target_status = fs::status(fs::path(target_), ec);
    const bool target_exists = fs::exists(target_status);
    if ((!target_exists || fs::is_regular_file(target_status)) && open_temporary(target_exists)) return;
  }
  errno = 0;
  file_ = std::fopen(target_.c_str(), append ? "a" : "w");
  if (file_ == nullptr) file_failure(filename_, with_reason("cannot be opened for writing", errno));
}

// A new file beside the target, created with the permissions the target has
// (or, for a new target, those a plain create would give). False when the
// folder takes no new file; the caller then writes in place.
bool text_writer::open_temporary(bool target_exists) {
  const fs::path target(target_);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  // Built by appending: GCC 12 at -O3 warns (-Wrestrict) on the temporary
  // concatenation.
  std::string stem = ".";
  stem += target.filename().string();
  stem += ".tmp-";
  stem += std::to_string(::getpid());
  stem += '-';
  // Shared by every thread that writes a file.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = (folder / (stem + std::to_string(counter++))).string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    struct stat old {};
    if (target_exists && ::stat(target_.c_str(), &old) == 0) {
      // Best effort: only the owner (or root) may set these.
      if (::fchown(fd, old.st_uid, old.st_gid) != 0) errno = 0;
      if (::fchmod(fd, old.st_mode & 07777) != 0) errno = 0;
    }
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
      ::close(fd);
      ::unlink(name.c_str());
      return false;
    }
    temp_ = name;
    return true;
  }
  return false;
}

text_writer::~text_writer() { discard(); }

void text_writer::discard() noexcept {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

void text_writer::failed(std::string_view problem, int error) {
  discard();
  file_failure(filename_, with_reason(problem, error));
}

void text_writer::line(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fputc('\n', file_) == EOF) {
    failed("could not be written", errno);
  }
}

void text_writer::close() {
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) failed("could not be written", errno);
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) failed("could not be written", errno);
  if (temp_.empty()) return;
  errno = 0;
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) failed("could not be replaced", errno);
  temp_.clear();
}

}  // namespace orvik::detail
