#pragma once
// The library's number texts, written once and used by every module that
// prints: the right-aligned integer fields of free-format lines, the
// free-format real field of m_print and v_print, the "(f0.8)" values of the
// text files, the lossless values of the save files and the fixed-width
// fields of the timer line.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvik::detail {

// A value too wide for its field fills the field with asterisks, as a
// Fortran edit descriptor does.
inline std::string fit_field(const char* text, int width) {
  std::string s = text;
  const auto w = static_cast<std::size_t>(width);
  return s.size() > w ? std::string(w, '*') : s;
}

// An integer right-aligned in `width` characters ("(iw)").
inline std::string format_int_width(std::int32_t value, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%*d", width, static_cast<int>(value));
  return fit_field(buf, width);
}

// An integer right-aligned in 11 characters, the integer field of the
// free-format lines (every int32 fits).
inline std::string format_int_field(std::int32_t value) { return format_int_width(value, 11); }

// A real right-aligned in `width` characters with `decimals` decimals
// ("(fw.d)"); non-finite values as the text files write them.
inline std::string format_real_width(float value, int width, int decimals) {
  char buf[64];
  if (std::isnan(value)) {
    std::snprintf(buf, sizeof buf, "%*s", width, "NaN");
  } else if (std::isinf(value)) {
    std::snprintf(buf, sizeof buf, "%*s", width, value > 0 ? "Infinity" : "-Infinity");
  } else {
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, static_cast<double>(value));
  }
  return fit_field(buf, width);
}

// Minimal width, as "(i0)".
inline std::string format_int_minimal(std::int32_t value) { return std::to_string(value); }

// Fixed-point, exactly 8 decimals, minimal width; a 0 before the point below
// magnitude 1 and a minus sign for every negative value, -0.0 included.
inline std::string format_fixed8(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.8f", static_cast<double>(value));
  return buf;
}

// The shortest text that reads back as the same float (at most 9
// significant digits, exponent form when shorter: 0.1, 1e-10, 1.2346e-05,
// 16777216, -0); non-finite values as the "(f0.8)" texts, a NaN with its
// sign bit set as -NaN. A NaN's payload is not written: it reads back as the
// reader's NaN of that sign.
inline std::string format_shortest(float value) {
  if (std::isnan(value)) return std::signbit(value) ? "-NaN" : "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

inline constexpr int free_real_width = 16;

// The free-format real field: 16 characters, right-aligned, 9 significant
// digits (enough for any float32 to read back as itself). Magnitudes from
// 0.1 up to 1e9 (after rounding to 9 digits) and zero are written in
// fixed-point followed by four blanks where the exponent would stand, so
// that the columns line up; everything else in exponent form, E+nn.
inline std::string format_free_real(float value) {
  char body[32];
  const double v = static_cast<double>(value);
  bool trailing_blanks = true;
  if (std::isnan(value)) {
    std::snprintf(body, sizeof body, "NaN");
  } else if (std::isinf(value)) {
    std::snprintf(body, sizeof body, "%s", value > 0 ? "Infinity" : "-Infinity");
  } else if (value == 0.0f) {
    std::snprintf(body, sizeof body, "%.8f", v);
  } else {
    char sci[32];
    std::snprintf(sci, sizeof sci, "%.8E", v);
    const int exponent = std::atoi(std::strchr(sci, 'E') + 1);
    if (exponent >= -1 && exponent <= 8) {
      std::snprintf(body, sizeof body, "%#.*f", 8 - exponent, v);
    } else {
      std::snprintf(body, sizeof body, "%s", sci);
      trailing_blanks = false;
    }
  }
  std::string text = body;
  if (trailing_blanks) text += "    ";
  if (text.size() < free_real_width) text.insert(0, free_real_width - text.size(), ' ');
  return text;
}

// A free-format line of `count` reals: a blank, then the values value(1) to
// value(count) each in its free-format field, separated by single blanks.
template <typename Value>
std::string free_real_line(std::int32_t count, Value value) {
  std::string line = " ";
  for (std::int32_t k = 1; k <= count; ++k) {
    if (k > 1) line += ' ';
    line += format_free_real(value(k));
  }
  return line;
}

// A line of the text files: value(1) to value(count) each in `format`,
// separated by single blanks, with no blank at either end.
template <typename Value, typename Format>
std::string file_line(std::int32_t count, Value value, Format format) {
  std::string line;
  for (std::int32_t k = 1; k <= count; ++k) {
    if (k > 1) line += ' ';
    line += format(value(k));
  }
  return line;
}

// The "(f0.8)" line of the print files.
template <typename Value>
std::string fixed8_line(std::int32_t count, Value value) {
  return file_line(count, value, format_fixed8);
}

// The lossless line of the save files.
template <typename Value>
std::string shortest_line(std::int32_t count, Value value) {
  return file_line(count, value, format_shortest);
}

}  // namespace orvik::detail
