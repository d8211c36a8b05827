#include "utility/text_writer.hpp"

#include "utility/io_failure.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace orvik::detail {
namespace {

// The setting as the open step sees it: its first 10 characters, without
// trailing blanks, in lower case.
std::string open_setting(std::string_view text) {
  std::string s(text.substr(0, std::min<std::size_t>(text.size(), 10)));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

text_writer::text_writer(std::string_view filename, std::optional<std::string_view> status,
                         std::optional<std::string_view> position)
    : filename_(filename) {
  const std::string st = open_setting(status.value_or("unknown"));
  const std::string pos = open_setting(position.value_or("rewind"));
  if (st != "unknown" && st != "replace" && st != "new" && st != "old") {
    file_failure(filename_, "open status \"" + st + "\" is not accepted");
  }
  if (pos != "rewind" && pos != "asis" && pos != "append") {
    file_failure(filename_, "open position \"" + pos + "\" is not accepted");
  }
  std::error_code ec;
  const bool exists = std::filesystem::exists(std::filesystem::path(filename_), ec);
  if (st == "new" && exists) file_failure(filename_, "already exists (open status \"new\")");
  if (st == "old" && !exists) file_failure(filename_, "does not exist (open status \"old\")");
  const bool append = pos == "append" && st != "replace";
  out_.open(filename_, append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
  if (!out_.is_open()) file_failure(filename_, "cannot be opened for writing");
}

text_writer::~text_writer() {
  if (out_.is_open()) out_.close();
}

void text_writer::line(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.put('\n');
}

void text_writer::close() {
  out_.flush();
  const bool ok = out_.good();
  out_.close();
  if (!ok || out_.fail()) file_failure(filename_, "could not be written");
}

}  // namespace orvik::detail
