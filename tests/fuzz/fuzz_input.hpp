#pragma once
// What both reader targets share: the input handed to the reader as a file
// (the readers take file names), and the guard against headers that ask
// for more storage than the fuzzer's memory limit allows.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvik::fuzz {

// The inputs go to one file per process, in memory where the system offers it.
inline const std::string& input_path() {
  static const std::string path = [] {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/orvik_fuzz_" + std::to_string(getpid()) + ".txt";
  }();
  return path;
}

inline const std::string& write_input(const std::uint8_t* data, std::size_t size) {
  const std::string& path = input_path();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
  return path;
}

// A file whose header asks for at most this many elements is read; larger
// ones are skipped here, in the target only. The reader accepts up to
// 536870911 elements (2 GB), which a legitimate header may ask for, but the
// fuzzer's memory limit would report such a read as a failure of its own.
inline constexpr std::int64_t max_fuzzed_elements = 4'000'000;

// True when the first `counts` tokens of the input are integers whose
// product exceeds max_fuzzed_elements. Tokens are split as the reader splits
// them; a header that is not all integers is left for the reader to refuse.
inline bool header_too_large(const std::uint8_t* data, std::size_t size, int counts) {
  auto separator = [](std::uint8_t c) {
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
  };
  std::int64_t product = 1;
  std::size_t k = 0;
  for (int t = 0; t < counts; ++t) {
    while (k < size && separator(data[k])) ++k;
    if (k == size) return false;
    bool negative = false;
    if (data[k] == '+' || data[k] == '-') negative = data[k++] == '-';
    std::int64_t value = 0;
    bool digits = false;
    for (; k < size && !separator(data[k]); ++k) {
      if (data[k] < '0' || data[k] > '9') return false;
      digits = true;
      if (value < (std::int64_t{1} << 40)) value = value * 10 + (data[k] - '0');
    }
    if (!digits || negative) return false;
    product = value > 0 && product > (std::int64_t{1} << 40) / value ? (std::int64_t{1} << 40) : product * value;
  }
  return product > max_fuzzed_elements;
}

}  // namespace orvik::fuzz
