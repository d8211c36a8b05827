#pragma once
// Scratch files for tests: each test gets a directory of its own, removed
// when the fixture ends.

#include <filesystem>
#include <string>
#include <string_view>

namespace orvik::test {

class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  // A path inside the directory (the file is not created).
  std::string path(std::string_view name) const;
  // Writes `text` to the file `name` and returns its path.
  std::string write(std::string_view name, std::string_view text) const;

  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

// The whole content of a file.
std::string read_file(const std::string& path);

}  // namespace orvik::test
