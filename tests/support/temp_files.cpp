#include "support/temp_files.hpp"

#include <stdlib.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvik::test {

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvik_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::string temp_dir::path(std::string_view name) const { return (root_ / std::string(name)).string(); }

std::string temp_dir::write(std::string_view name, std::string_view text) const {
  std::string p = path(name);
  std::ofstream out(p, std::ios::binary);
  out << text;
  return p;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace orvik::test
