// Golden digests: every numerical operation of the library runs on fixed
// inputs, and each call's results are folded into one 64-bit digest that is
// compared with the file checked in beside this program. The library's
// results are meant to be the same bits on every compiler, flag set,
// instruction set and platform, and on its reference and optimised kernels;
// this program is how that is checked on each build.
//
//   orvik_golden FILE            compare with FILE, one line per difference
//   orvik_golden --update FILE   (re)write FILE
//   orvik_golden --print         write the digests on standard output
//   orvik_golden --time FILE     compare, and list the slowest calls
//   --max-size N first           only the calls on shapes up to N
//
// A digest covers the shapes, the element bits (every NaN counted as one
// value: its sign and payload are not part of the results), integer and
// boolean results, the lines a call prints, the remembered default sizes
// it leaves behind and the number of the error that stopped it (0 if none).
// Inputs come from a generator of this program's own, never the library's
// clock-seeded fillers. It needs nothing but the library, so that it also
// runs where no test framework is installed (a cross build under an
// emulator).

#include <orvik/orvik.hpp>

#include "maths/random_source.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace orvik;

// ---------------------------------------------------------------- digests

class digest {
 public:
  void byte(std::uint8_t b) {
    h_ ^= b;
    h_ *= 0x100000001b3ULL;
  }
  void tag(char c) { byte(static_cast<std::uint8_t>(c)); }
  void u32(std::uint32_t v) {
    for (int k = 0; k < 4; ++k) byte(static_cast<std::uint8_t>(v >> (8 * k)));
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f32(float v) { u32(std::isnan(v) ? 0x7fc00000U : std::bit_cast<std::uint32_t>(v)); }
  void boolean(bool b) {
    tag('b');
    byte(b ? 1 : 0);
  }
  void scalar(float v) {
    tag('f');
    f32(v);
  }
  void integer(std::int32_t v) {
    tag('i');
    i32(v);
  }
  void text(std::string_view s) {
    tag('t');
    u32(static_cast<std::uint32_t>(s.size()));
    for (char c : s) byte(static_cast<std::uint8_t>(c));
  }
  void floats(const std::vector<float>& values) {
    u32(static_cast<std::uint32_t>(values.size()));
    for (float v : values) f32(v);
  }
  void vector(const t_vector& v) {
    tag('v');
    byte(v.allocated ? 1 : 0);
    i32(v.size);
    floats(v.elements);
  }
  void matrix(const t_matrix& m) {
    tag('m');
    byte(m.allocated ? 1 : 0);
    i32(m.rows);
    i32(m.cols);
    floats(m.elements);
  }
  void record(const t_m_and_p& r) {
    matrix(r.M);
    matrix(r.P);
    integer(r.nb_permut);
  }
  void record(const t_lu& r) {
    matrix(r.L);
    matrix(r.U);
    matrix(r.P);
    integer(r.nb_permut);
  }
  void record(const t_qr& r) {
    matrix(r.Q);
    matrix(r.R);
    matrix(r.P);
    integer(r.nb_permut);
  }
  void record(const t_svd& r) {
    matrix(r.S);
    matrix(r.V);
    matrix(r.U);
  }
  void record(const t_eig& r) {
    vector(r.eigvals);
    matrix(r.eigvecs);
  }
  void record(const t_eig_gen& r) {
    vector(r.re);
    vector(r.im);
    matrix(r.vectors);
  }
  void record(const t_poweig& r) {
    scalar(r.eigval);
    vector(r.eigvec);
    vector(r.errors);
    integer(r.nb_iter);
  }
  [[nodiscard]] std::uint64_t value() const { return h_; }

 private:
  std::uint64_t h_ = 0xcbf29ce484222325ULL;  // 64-bit FNV-1a
};

// ---------------------------------------------------------------- inputs

// SplitMix64; values are k / 2^23 for integers k, so they are exact floats
// whatever the platform's conversions do.
class source {
 public:
  explicit source(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [-1, 1).
  float uniform() { return std::ldexp(static_cast<float>(static_cast<std::int32_t>(next() >> 40) - 0x800000), -23); }
  // Uniform in [-1, 1) times 2^k for k in [-6, 6]: magnitudes that do not
  // line up, so roundings differ from element to element.
  float graded() {
    const float u = uniform();  // drawn first: argument order is unspecified
    return std::ldexp(u, static_cast<int>(next() % 13) - 6);
  }

 private:
  std::uint64_t state_;
};

enum class kind { uniform, graded, positive };

t_matrix matrix_of(std::int32_t rows, std::int32_t cols, std::uint64_t seed, kind k = kind::uniform) {
  source s(seed);
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
  for (float& x : m.elements) {
    x = k == kind::graded ? s.graded() : k == kind::positive ? std::fabs(s.uniform()) : s.uniform();
  }
  m.allocated = true;
  return m;
}

t_vector vector_of(std::int32_t n, std::uint64_t seed, kind k = kind::uniform) {
  const t_matrix m = matrix_of(n, 1, seed, k);
  t_vector v;
  v.size = n;
  v.elements = m.elements;
  v.allocated = true;
  return v;
}

t_vector vector_of(std::initializer_list<float> values) {
  t_vector v;
  v.size = static_cast<std::int32_t>(values.size());
  v.elements.assign(values);
  v.allocated = true;
  return v;
}

t_matrix column_major(std::int32_t rows, std::int32_t cols, std::initializer_list<float> values) {
  t_matrix m;
  m.rows = rows;
  m.cols = cols;
  m.elements.assign(values);
  m.allocated = true;
  return m;
}

float& at(t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}
float at(const t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}

// Random with every diagonal entry above the sum of the other magnitudes of
// its row plus one.
t_matrix dominant(std::int32_t n, std::uint64_t seed) {
  t_matrix m = matrix_of(n, n, seed);
  for (std::int32_t i = 1; i <= n; ++i) {
    double s = 1.0;
    for (std::int32_t j = 1; j <= n; ++j) s += std::fabs(static_cast<double>(at(m, i, j)));
    at(m, i, i) = static_cast<float>(s);
  }
  return m;
}

// G^T G + n I, formed in double (each product exact, each sum rounded) and
// rounded once: the same bits everywhere, and safely positive definite.
t_matrix spd(std::int32_t n, std::uint64_t seed) {
  const t_matrix g = matrix_of(n, n, seed);
  t_matrix m = matrix_of(n, n, 0);
  for (std::int32_t j = 1; j <= n; ++j) {
    for (std::int32_t i = j; i <= n; ++i) {
      double s = i == j ? n : 0.0;
      for (std::int32_t k = 1; k <= n; ++k) s += static_cast<double>(at(g, k, i)) * static_cast<double>(at(g, k, j));
      at(m, i, j) = static_cast<float>(s);
      at(m, j, i) = at(m, i, j);
    }
  }
  return m;
}

// Symmetric with eigenvalues near 1, 2, ..., n: well separated, so that
// power iteration and deflation settle.
t_matrix separated(std::int32_t n, std::uint64_t seed) {
  t_matrix m = matrix_of(n, n, seed);
  for (std::int32_t j = 1; j <= n; ++j) {
    for (std::int32_t i = j; i <= n; ++i) {
      at(m, i, j) = i == j ? static_cast<float>(i) : at(m, i, j) / 32.0f;
      at(m, j, i) = at(m, i, j);
    }
  }
  return m;
}

t_matrix symmetric(std::int32_t n, std::uint64_t seed) {
  t_matrix m = matrix_of(n, n, seed);
  for (std::int32_t j = 1; j <= n; ++j) {
    for (std::int32_t i = j + 1; i <= n; ++i) at(m, j, i) = at(m, i, j);
  }
  return m;
}

// Rank r: the first r columns random, each later one the sum of two earlier.
t_matrix rank_deficient(std::int32_t rows, std::int32_t cols, std::int32_t r, std::uint64_t seed) {
  t_matrix m = matrix_of(rows, cols, seed);
  for (std::int32_t j = r + 1; j <= cols; ++j) {
    for (std::int32_t i = 1; i <= rows; ++i) at(m, i, j) = at(m, i, j - r) + at(m, i, 1 + (j - 1) % r);
  }
  return m;
}

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float qnan = std::numeric_limits<float>::quiet_NaN();

// Every kind of float at least once: signed zeros, subnormals, the extremes,
// infinities and NaN.
t_vector special_vector() {
  return vector_of({0.0f, -0.0f, 1.0f, -2.5f, 0x1p-149f, -0x1p-130f, 3.4028235e38f, -3.4028235e38f, inf, -inf, qnan,
                    0x1p-126f, 7.0f, -1.0e-20f, 1.0e20f, 0.1f});
}

t_matrix special_matrix() {
  const t_vector v = special_vector();
  t_matrix m;
  m.rows = 4;
  m.cols = 4;
  m.elements = v.elements;
  m.allocated = true;
  return m;
}

// Text then a built string, appended rather than inserted in front (which
// some compilers misjudge at -O3).
std::string join(const char* text, const std::string& rest) {
  std::string r = text;
  r += rest;
  return r;
}

std::string shape(std::int32_t r, std::int32_t c) { return std::to_string(r) + join("x", std::to_string(c)); }
std::string shape(std::int32_t r, std::int32_t p, std::int32_t c) { return shape(r, p) + join("x", std::to_string(c)); }

// ---------------------------------------------------------------- running

// Standard output redirected into a temporary file for the span of one
// call, so that printed lines become part of the digest.
class stdout_capture {
 public:
  stdout_capture() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = dup(STDOUT_FILENO);
    if (file_ != nullptr && saved_ >= 0) dup2(fileno(file_), STDOUT_FILENO);
  }
  stdout_capture(const stdout_capture&) = delete;
  stdout_capture& operator=(const stdout_capture&) = delete;
  ~stdout_capture() { restore(); }

  std::string restore() {
    std::string text;
    if (saved_ < 0) return text;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    if (file_ != nullptr) {
      std::rewind(file_);
      std::array<char, 4096> buffer{};
      std::size_t got = 0;
      while ((got = std::fread(buffer.data(), 1, buffer.size(), file_)) > 0) text.append(buffer.data(), got);
      std::fclose(file_);
      file_ = nullptr;
    }
    return text;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

struct result_line {
  std::string name;
  std::uint64_t digest;
  std::int32_t stop;  // the error number that ended the call, 0 if none
  double seconds;
};

class runner {
 public:
  // Runs `body` in raising mode, so a stop becomes a recorded error number,
  // with standard output folded into the digest, and records the remembered
  // default sizes of m_init and v_init that the call leaves. Those are set
  // to a fixed value before each call, so calls do not depend on each other.
  void call(const std::string& name, const std::function<void(digest&)>& body) {
    reset_remembered_sizes();
    digest d;
    const std::clock_t start = std::clock();
    std::int32_t stop = 0;
    std::string printed;
    {
      stdout_capture capture;
      try {
        const raising_scope raising;
        body(d);
      } catch (const orvik::error& e) {
        stop = e.exception().number;
      }
      printed = capture.restore();
    }
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    d.tag('E');
    d.i32(stop);
    d.text(printed);
    remembered_sizes(d);
    results_.push_back({name, d.value(), stop, seconds});
  }

  [[nodiscard]] const std::vector<result_line>& results() const { return results_; }

 private:
  static void reset_remembered_sizes() {
    t_matrix m;
    m_init(m, 2, 2);
    t_vector v;
    v_init(v, 2);
  }

  static void remembered_sizes(digest& d) {
    const raising_scope raising;
    d.tag('R');
    try {
      t_matrix m;
      m_init(m);
      d.i32(m.rows);
      d.i32(m.cols);
    } catch (const orvik::error& e) {
      d.i32(-e.exception().number);
    }
    try {
      t_vector v;
      v_init(v);
      d.i32(v.size);
    } catch (const orvik::error& e) {
      d.i32(-e.exception().number);
    }
  }

  std::vector<result_line> results_;
};

// --max-size N leaves out the calls on larger shapes, for slow builds (a
// debug build under sanitizers); the full set runs everywhere else.
std::int32_t size_limit = std::numeric_limits<std::int32_t>::max();
bool within(std::int32_t n) { return n <= size_limit; }

// The library's random sequence restarted from a seed of ours, for the
// generators that continue it.
void reseed_library_source(std::int32_t seed) { (void)detail::random_uniform(seed); }

// ---------------------------------------------------------------- the calls

void vectors(runner& run) {
  for (const std::int32_t n : {1, 2, 3, 7, 16, 33, 100, 300}) {
    if (!within(n)) continue;
    const std::string s = join("/", std::to_string(n));
    const t_vector x = vector_of(n, 100 + n, kind::graded);
    const t_vector y = vector_of(n, 200 + n);
    run.call("v_add" + s, [&](digest& d) { d.vector(v_add(x, y)); });
    run.call("v_minus" + s, [&](digest& d) { d.vector(v_minus(x, y)); });
    run.call("v_prod_vec" + s, [&](digest& d) { d.vector(v_prod_vec(x, y)); });
    run.call("v_prod_scalar1" + s, [&](digest& d) { d.vector(v_prod_scalar1(x, 0.7f)); });
    run.call("v_prod_scalar2" + s, [&](digest& d) { d.vector(v_prod_scalar2(-1.3f, y)); });
    run.call("v_div_scalar" + s, [&](digest& d) { d.vector(v_div_scalar(x, 3.0f)); });
    run.call("v_inverse" + s, [&](digest& d) { d.vector(v_inverse(y)); });
    run.call("v_axpby" + s, [&](digest& d) { d.vector(v_axpby(0.3f, x, -1.7f, y)); });
    run.call("v_axpby_ax" + s, [&](digest& d) { d.vector(v_axpby(0.3f, x)); });
    run.call("v_normalize" + s, [&](digest& d) {
      t_vector v = x;
      v_normalize(v);
      d.vector(v);
    });
    run.call("v_dot" + s, [&](digest& d) { d.scalar(v_dot(x, y)); });
    run.call("v_norm" + s, [&](digest& d) {
      d.scalar(v_norm(x));
      for (const std::int32_t p : {0, 1, 2, 3, -1}) d.scalar(v_norm(x, p));
    });
    run.call("v_length" + s, [&](digest& d) {
      d.scalar(v_length(x));
      d.scalar(v_sqrlength(x));
    });
    run.call("v_sum" + s, [&](digest& d) { d.scalar(v_sum(x)); });
    run.call("v_prod" + s, [&](digest& d) { d.scalar(v_prod(y)); });
    run.call("v_extremes" + s, [&](digest& d) {
      d.scalar(v_abs(x));
      d.scalar(v_min(x));
      d.scalar(v_max(x));
    });
    run.call("v_counts" + s, [&](digest& d) {
      d.integer(v_nbzeros(x));
      d.integer(v_nbpositive(x));
      d.integer(v_nbnegative(x));
      d.boolean(v_isequal(x, x));
      d.boolean(v_isequal(x, y));
      d.boolean(v_isequal_scalar(x, 0.0f));
    });
  }
  const t_vector a = vector_of({1.5f, -2.0f, 0.25f});
  const t_vector b = vector_of({-0.1f, 3.0f, 7.0f});
  run.call("v_cross/3", [&](digest& d) { d.vector(v_cross(a, b)); });

  // Special values through every element-by-element rule and reduction.
  const t_vector sp = special_vector();
  const t_vector other = vector_of(sp.size, 7, kind::graded);
  run.call("v_special/arithmetic", [&](digest& d) {
    d.vector(v_add(sp, other));
    d.vector(v_minus(sp, other));
    d.vector(v_prod_vec(sp, other));
    d.vector(v_prod_scalar1(sp, -3.0f));
    d.vector(v_div_scalar(sp, 1.0e-30f));
    d.vector(v_axpby(2.0f, sp, 0.5f, other));
  });
  run.call("v_special/reductions", [&](digest& d) {
    d.scalar(v_dot(sp, other));
    for (const std::int32_t p : {0, 1, 2, -1}) d.scalar(v_norm(sp, p));
    d.scalar(v_length(sp));
    d.scalar(v_sum(sp));
    d.scalar(v_prod(sp));
    d.scalar(v_abs(sp));
    d.scalar(v_min(sp));
    d.scalar(v_max(sp));
    d.integer(v_nbzeros(sp));
    d.integer(v_nbpositive(sp));
    d.integer(v_nbnegative(sp));
    d.boolean(v_isequal(sp, sp));
  });
  run.call("v_special/empty", [&](digest& d) {
    const t_vector e = vector_of({});
    d.scalar(v_sum(e));
    d.scalar(v_prod(e));
    d.scalar(v_norm(e, 0));
    d.scalar(v_min(e));
    d.scalar(v_max(e));
    d.boolean(v_isequal_scalar(e, 1.0f));
  });
  // The wide sum: cancellation across 2^100 and across 1e8.
  run.call("v_sum/wide", [&](digest& d) {
    d.scalar(v_sum(vector_of({0x1p100f, 1.0f, -0x1p100f, 0x1p-30f})));
    d.scalar(v_sum(vector_of({1.0e8f, 1.0f, -1.0e8f})));
    d.scalar(v_sum(vector_of({1.0f, 0x1p-24f, 0x1p-70f})));
    d.scalar(v_sum(vector_of({3.0e38f, 3.0e38f, -3.0e38f})));
  });
  run.call("v_errors", [&](digest& d) {
    try {
      (void)v_div_scalar(a, -0.0f);
    } catch (const orvik::error& e) {
      d.integer(e.exception().number);
    }
    (void)v_add(a, vector_of({1.0f}));
  });
}

void products(runner& run) {
  const std::vector<std::array<std::int32_t, 3>> shapes = {
      {1, 1, 1},       {2, 2, 2},       {3, 5, 7},       {4, 4, 4},       {8, 8, 8},      {16, 16, 16}, {5, 17, 3},
      {17, 33, 9},     {31, 1, 45},     {1, 64, 1},      {33, 65, 17},    {64, 64, 64},   {65, 63, 67}, {100, 37, 129},
      {128, 128, 128}, {129, 130, 131}, {200, 150, 257}, {257, 300, 131}, {300, 300, 300}};
  for (const auto& shape_of : shapes) {
    const std::int32_t m = shape_of[0];
    const std::int32_t p = shape_of[1];
    const std::int32_t n = shape_of[2];
    if (!within(std::max({m, p, n}))) continue;
    const t_matrix a = matrix_of(m, p, 1000 + static_cast<std::uint64_t>(m * 7 + p), kind::graded);
    const t_matrix b = matrix_of(p, n, 2000 + static_cast<std::uint64_t>(p * 7 + n));
    run.call(join("m_prod_mat/", shape(m, p, n)), [&](digest& d) { d.matrix(m_prod_mat(a, b)); });
  }
  const std::vector<std::array<std::int32_t, 2>> vec_shapes = {{1, 1},   {3, 7},   {16, 16},   {17, 33},  {100, 37},
                                                               {1, 300}, {300, 1}, {257, 131}, {300, 300}};
  for (const auto& shape_of : vec_shapes) {
    const std::int32_t r = shape_of[0];
    const std::int32_t c = shape_of[1];
    if (!within(std::max(r, c))) continue;
    const t_matrix a = matrix_of(r, c, 3000 + static_cast<std::uint64_t>(r * 11 + c), kind::graded);
    const t_vector x = vector_of(c, 4000 + c);
    const t_vector y = vector_of(r, 5000 + r);
    run.call(join("m_prod_vec1/", shape(r, c)), [&](digest& d) { d.vector(m_prod_vec1(a, x)); });
    run.call(join("m_prod_vec_c/", shape(r, c)), [&](digest& d) { d.vector(m_prod_vec_c(a, x)); });
    run.call(join("m_prod_vec2/", shape(r, c)), [&](digest& d) { d.vector(m_prod_vec2(y, a)); });
  }
  const t_matrix sp = special_matrix();
  const t_matrix g = matrix_of(4, 4, 17, kind::graded);
  run.call("m_prod/special", [&](digest& d) {
    d.matrix(m_prod_mat(sp, g));
    d.matrix(m_prod_mat(g, sp));
    d.vector(m_prod_vec1(sp, vector_of(4, 18)));
    d.vector(m_prod_vec2(vector_of(4, 19), sp));
  });
  run.call("m_prod/errors", [&](digest& d) {
    try {
      (void)m_prod_mat(g, matrix_of(3, 2, 1));
    } catch (const orvik::error& e) {
      d.integer(e.exception().number);
    }
    (void)m_prod_vec1(g, vector_of(3, 1));
  });
}

void elementwise(runner& run) {
  for (const auto& shape_of : std::vector<std::array<std::int32_t, 2>>{{1, 1}, {3, 5}, {17, 9}, {64, 64}, {300, 257}}) {
    const std::int32_t r = shape_of[0];
    const std::int32_t c = shape_of[1];
    if (!within(std::max(r, c))) continue;
    const std::string s = join("/", shape(r, c));
    const t_matrix a = matrix_of(r, c, 6000 + static_cast<std::uint64_t>(r + c), kind::graded);
    const t_matrix b = matrix_of(r, c, 7000 + static_cast<std::uint64_t>(r + c));
    run.call("m_trans" + s, [&](digest& d) { d.matrix(m_trans(a)); });
    run.call("m_add" + s, [&](digest& d) { d.matrix(m_add(a, b)); });
    run.call("m_minus" + s, [&](digest& d) { d.matrix(m_minus(a, b)); });
    run.call("m_div_scalar" + s, [&](digest& d) { d.matrix(m_div_scalar(a, 3.0f)); });
    run.call("m_prod_scalar" + s, [&](digest& d) {
      d.matrix(m_prod_scalar1(0.1f, a));
      d.matrix(m_prod_scalar2(b, -7.5f));
    });
    run.call("m_sums" + s, [&](digest& d) {
      d.scalar(m_sum(a));
      for (std::int32_t j = 1; j <= c; ++j) d.scalar(m_sumcol(a, j));
      for (std::int32_t i = 1; i <= r; ++i) d.scalar(m_sumrow(a, i));
    });
    run.call("m_extremes" + s, [&](digest& d) {
      d.scalar(m_min(a));
      d.scalar(m_max(a));
      for (std::int32_t j = 1; j <= c; ++j) {
        d.scalar(m_mincol(a, j));
        d.scalar(m_maxcol(a, j));
      }
      for (std::int32_t i = 1; i <= r; ++i) {
        d.scalar(m_minrow(a, i));
        d.scalar(m_maxrow(a, i));
      }
    });
    run.call("m_counts" + s, [&](digest& d) {
      d.integer(m_nbzeros(a));
      d.integer(m_nbpositive(a));
      d.integer(m_nbnegative(a));
      d.integer(m_nbzeroscol(a, c));
      d.integer(m_nbpositivecol(a, 1));
      d.integer(m_nbnegativecol(a, c));
      d.integer(m_nbzerosrow(a, r));
      d.integer(m_nbpositiverow(a, 1));
      d.integer(m_nbnegativerow(a, r));
      d.boolean(m_isequal(a, a));
      d.boolean(m_isequal(a, b));
      d.boolean(m_isequal_scalar(a, 0.0f));
      d.boolean(m_issymmetric(a));
    });
  }
  const t_matrix sp = special_matrix();
  run.call("m_special", [&](digest& d) {
    d.matrix(m_add(sp, sp));
    d.matrix(m_minus(sp, m_trans(sp)));
    d.matrix(m_div_scalar(sp, 1.0e-30f));
    d.scalar(m_sum(sp));
    d.scalar(m_sumcol(sp, 3));
    d.scalar(m_sumrow(sp, 2));
    d.scalar(m_min(sp));
    d.scalar(m_max(sp));
    d.integer(m_nbzeros(sp));
    d.integer(m_nbpositive(sp));
    d.integer(m_nbnegative(sp));
    d.boolean(m_isequal(sp, sp));
    d.boolean(m_issymmetric(symmetric(5, 3)));
  });
  run.call("m_sum/wide", [&](digest& d) {
    const t_matrix w = column_major(2, 2, {0x1p100f, 1.0f, -0x1p100f, 0x1p-30f});
    d.scalar(m_sum(w));
    d.scalar(m_sumrow(w, 1));
    d.scalar(m_sumcol(w, 1));
    d.scalar(m_sum(column_major(1, 3, {1.0e8f, 1.0f, -1.0e8f})));
  });
}

void structured(runner& run) {
  const t_matrix a = matrix_of(5, 8, 8000);
  run.call("m_diag/5x8", [&](digest& d) {
    d.vector(m_diag(a));
    for (const std::int32_t k : {-4, -2, 0, 3, 7}) d.vector(m_diag(a, k));
  });
  run.call("m_triu_tril/5x8", [&](digest& d) {
    for (const std::int32_t k : {-2, 0, 1, 9}) {
      d.matrix(m_triu(a, k));
      d.matrix(m_tril(a, k));
    }
    d.matrix(m_triu(a));
    d.matrix(m_tril(a));
  });
  run.call("m_bidiag/5x8", [&](digest& d) {
    d.matrix(m_bidiag_up(a));
    d.matrix(m_bidiag_low(a));
  });
  run.call("m_identity", [&](digest& d) {
    for (const std::int32_t n : {1, 2, 17}) d.matrix(m_identity(n));
  });
  run.call("mc_bands", [&](digest& d) {
    const std::vector<float> values = {1.0f, -2.0f, 0.5f, 3.0f};
    d.matrix(mc_diag(values));
    d.matrix(mc_bidiag_low(2.0f, 5.0f, 4));
    d.matrix(mc_bidiag_up(2.0f, 5.0f, 4));
    d.matrix(mc_tridiag(4.0f, -1.0f, 2.0f, 5));
  });
  for (const std::int32_t n : {1, 2, 5, 17, 100}) {
    run.call(join("mc_diagdominant/", std::to_string(n)), [&](digest& d) {
      reseed_library_source(41 + n);
      t_matrix m;
      mc_diagdominant(m, n, -1.0f, 2.0f);
      d.matrix(m);
    });
    run.call(join("mc_diagdominantsymmetric/", std::to_string(n)), [&](digest& d) {
      reseed_library_source(43 + n);
      t_matrix m;
      mc_diagdominantsymmetric(m, n, 0.0f, 1.0f);
      d.matrix(m);
    });
  }
  run.call("mc_diagdominant/wide", [&](digest& d) {
    // Huge entries make the row sum depend on the wide accumulator.
    reseed_library_source(47);
    t_matrix m;
    mc_diagdominant(m, 6, -1.0e30f, 1.0e30f);
    d.matrix(m);
  });
}

// Sizes that cross any cache block or register tile of a fast kernel.
const std::vector<std::int32_t>& elimination_sizes() {
  static const std::vector<std::int32_t> sizes = {1,  2,  3,  4,  5,  7,  8,   9,   15,  16,  17,
                                                  31, 32, 33, 63, 64, 65, 100, 129, 200, 257, 300};
  return sizes;
}

void eliminations(runner& run) {
  for (const std::int32_t n : elimination_sizes()) {
    if (!within(n)) continue;
    const std::string s = join("/", std::to_string(n));
    const t_matrix a = matrix_of(n, n, 9000 + n, kind::graded);
    const t_matrix dd = dominant(n, 9500 + n);
    const t_matrix p = spd(n, 9800 + n);
    run.call("m_permut" + s, [&](digest& d) {
      d.record(m_permut(a, true));
      d.record(m_permut_col(a, true));
      d.record(m_permut(a));
    });
    run.call("m_decomplu/pivot" + s, [&](digest& d) { d.record(m_decomplu(a, true)); });
    run.call("m_decomplu/plain" + s, [&](digest& d) { d.record(m_decomplu(dd)); });
    run.call("m_decomplu_m/pivot" + s, [&](digest& d) { d.record(m_decomplu_m(a, true)); });
    run.call("m_decompcholesky" + s, [&](digest& d) { d.record(m_decompcholesky(p)); });
    run.call("m_decompcholesky/pivot" + s, [&](digest& d) { d.record(m_decompcholesky(p, true)); });
    run.call("m_inverse_gaussj" + s, [&](digest& d) { d.matrix(m_inverse_gaussj(a)); });
    run.call("m_inverse_gaussj/dominant" + s, [&](digest& d) { d.matrix(m_inverse_gaussj(dd)); });
    run.call("m_det" + s, [&](digest& d) {
      d.scalar(m_det_gaussj(a));
      d.scalar(m_det(a, "lu", true));
      d.scalar(m_det(dd, "lu"));
      d.scalar(m_det(p, "chol"));
      d.scalar(m_det(a));
      d.scalar(m_det_lu(a, true));
      d.scalar(m_det_lu_all(a, true));
      d.scalar(m_det_chol(p));
    });
    run.call("m_rank_gaussj" + s, [&](digest& d) {
      d.integer(m_rank_gaussj(a));
      d.integer(m_rank_gaussj(rank_deficient(n, n, (n + 1) / 2, 9900 + n)));
    });
    run.call("m_trace" + s, [&](digest& d) { d.scalar(m_trace(a)); });
    run.call("m_norm/1,0,-1" + s, [&](digest& d) {
      d.scalar(m_norm(a, 1));
      d.scalar(m_norm(a, 0));
      d.scalar(m_norm(a, -1));
    });
  }
  const t_matrix singular = rank_deficient(6, 6, 3, 77);
  run.call("m_inverse_gaussj/singular", [&](digest& d) { d.matrix(m_inverse_gaussj(singular)); });
  run.call("m_decompcholesky/indefinite", [&](digest& d) { d.record(m_decompcholesky(matrix_of(6, 6, 78))); });
  run.call("m_det/singular", [&](digest& d) {
    d.scalar(m_det(singular, "lu", true));
    d.scalar(m_det(singular, "gj"));
  });
  run.call("m_trace/wide", [&](digest& d) {
    d.scalar(m_trace(column_major(4, 4, {0x1p100f, 0, 0, 0, 0, 1.0f, 0, 0, 0, 0, -0x1p100f, 0, 0, 0, 0, 0x1p-30f})));
  });
  run.call("m_decomplu/special", [&](digest& d) { d.record(m_decomplu(special_matrix(), true)); });
}

struct qr_method {
  const char* name;
  const char* text;
};
constexpr std::array<qr_method, 3> qr_methods = {{{"ho", "ho"}, {"gsro", "gsro"}, {"gs", "gs"}}};

void orthogonal(runner& run) {
  const std::vector<std::array<std::int32_t, 2>> shapes = {{1, 1}, {2, 2},   {3, 3},  {5, 5},  {8, 8},  {7, 3},
                                                           {3, 7}, {17, 17}, {20, 9}, {9, 20}, {33, 33}};
  for (const auto& shape_of : shapes) {
    const std::int32_t r = shape_of[0];
    const std::int32_t c = shape_of[1];
    const std::string s = join("/", shape(r, c));
    const t_matrix a = matrix_of(r, c, 11000 + static_cast<std::uint64_t>(r * 3 + c), kind::graded);
    run.call("m_decompqr_householder" + s, [&](digest& d) { d.record(m_decompqr_householder(a)); });
    run.call("m_decompqr_householder/pivot" + s, [&](digest& d) { d.record(m_decompqr_householder(a, true)); });
    run.call("m_decompqr_gramschimdt" + s, [&](digest& d) { d.record(m_decompqr_gramschimdt(a)); });
    run.call("m_decompqr_gramschimdt_reortho" + s,
             [&](digest& d) { d.record(m_decompqr_gramschimdt_reortho(a, 1.0e-3f, true)); });
    run.call("m_decompqr/default" + s, [&](digest& d) { d.record(m_decompqr(a)); });
  }
  const t_matrix deficient = rank_deficient(6, 5, 2, 12000);
  for (const auto& m : qr_methods) {
    run.call(std::string("m_decompqr/deficient/") + m.name,
             [&](digest& d) { d.record(m_decompqr(deficient, m.text)); });
  }
}

void spectral(runner& run) {
  const std::vector<std::array<std::int32_t, 2>> svd_shapes = {{2, 2}, {3, 3},  {5, 3},  {3, 5},
                                                               {8, 8}, {17, 9}, {24, 24}};
  for (const auto& shape_of : svd_shapes) {
    const std::int32_t r = shape_of[0];
    const std::int32_t c = shape_of[1];
    const std::string s = join("/", shape(r, c));
    const t_matrix a = matrix_of(r, c, 13000 + static_cast<std::uint64_t>(r * 5 + c), kind::graded);
    run.call("m_decompsvd_s" + s, [&](digest& d) { d.vector(m_decompsvd_s(a)); });
    for (const auto& m : qr_methods) {
      // Sweeps at the default tolerance are slow to settle on the larger
      // shapes: there only the default method runs, and Householder with a
      // looser tolerance below.
      if (r > 8 && std::string_view(m.name) != "gs") continue;
      run.call(std::string("m_decompsvd/") + m.name + s, [&](digest& d) { d.record(m_decompsvd(a, {}, {}, m.text)); });
    }
    run.call("m_decompsvd/pivot" + s, [&](digest& d) { d.record(m_decompsvd(a, 1.0e-5f, {}, "ho", {}, true)); });
  }
  run.call("m_decompsvd/diverge", [&](digest& d) { d.record(m_decompsvd(matrix_of(6, 6, 13500), {}, 1)); });

  for (const std::int32_t n : {2, 3, 5, 8, 12, 24}) {
    const std::string s = join("/", std::to_string(n));
    const t_matrix a = symmetric(n, 14000 + n);
    run.call("m_eig_qr" + s, [&](digest& d) { d.vector(m_eig_qr(a, 40)); });
    run.call("m_eig_qr/gs" + s, [&](digest& d) { d.vector(m_eig_qr(a, 20, "gs")); });
  }
  for (const std::int32_t n : {2, 3, 5, 8, 12}) {
    const std::string s = join("/", std::to_string(n));
    const t_matrix a = separated(n, 15000 + n);
    run.call("m_eig_deflation" + s, [&](digest& d) { d.record(m_eig_deflation(a)); });
    run.call("m_eig_deflation/x0" + s,
             [&](digest& d) { d.record(m_eig_deflation(a, vector_of(n, 15100 + n), 1.0e-4f, 2000)); });
  }
  for (const std::int32_t n : {1, 2, 3, 7, 16, 33, 64, 100}) {
    const std::string s = join("/", std::to_string(n));
    const t_matrix a = spd(n, 16000 + n);
    run.call("m_pow_eig" + s, [&](digest& d) { d.record(m_pow_eig(a)); });
    run.call("m_pow_eig/x0" + s, [&](digest& d) { d.record(m_pow_eig(a, vector_of(n, 16100 + n), 1.0e-4f, 2000)); });
  }
  run.call("m_pow_eig/diverge", [&](digest& d) { d.record(m_pow_eig(matrix_of(5, 5, 16500), {}, {}, 3)); });
  run.call("m_pow_eig/zero", [&](digest& d) { d.record(m_pow_eig(column_major(2, 2, {0, 0, 0, 0}))); });
}

void front_ends(runner& run) {
  const std::vector<std::array<std::int32_t, 2>> shapes = {{2, 2}, {4, 4}, {7, 4}, {4, 7}, {9, 9}, {12, 8}};
  for (const auto& shape_of : shapes) {
    const std::int32_t r = shape_of[0];
    const std::int32_t c = shape_of[1];
    const std::string s = join("/", shape(r, c));
    const t_matrix a = matrix_of(r, c, 17000 + static_cast<std::uint64_t>(r * 13 + c));
    const t_matrix low = rank_deficient(r, c, std::min(r, c) / 2 + 1, 17500 + static_cast<std::uint64_t>(r + c));
    run.call("m_rank/svd" + s, [&](digest& d) {
      d.integer(m_rank(a, {}, "svd"));
      d.integer(m_rank(low, 1.0e-4f, "svd"));
      d.integer(m_rank_svd(low, 1.0e-3f, 1.0e-5f));
    });
    run.call("m_rank/gj" + s, [&](digest& d) {
      if (r == c) {
        d.integer(m_rank(a));
        d.integer(m_rank(low, 1.0e-4f, "gj"));
      }
    });
    run.call("m_pinv/svd" + s, [&](digest& d) { d.matrix(m_pinv(a, {}, {}, {}, {}, {}, "svd")); });
    run.call("m_pseudoinv_svd" + s, [&](digest& d) { d.matrix(m_pseudoinv_svd(a, 1.0e-5f)); });
    run.call("m_pinv/chol" + s, [&](digest& d) { d.matrix(m_pinv(a)); });
    run.call("m_pseudoinv_chol" + s, [&](digest& d) { d.matrix(m_pseudoinv_chol(a, 1.0e-4f)); });
    run.call("m_pinv/deficient" + s, [&](digest& d) {
      d.matrix(m_pinv(low, 1.0e-4f, {}, {}, {}, {}, "svd"));
      d.matrix(m_pinv(low, {}, 1.0e-4f));
    });
  }
  for (const std::int32_t n : {1, 2, 3, 8, 17, 40}) {
    const std::string s = join("/", std::to_string(n));
    const t_matrix a = dominant(n, 18000 + n);
    run.call("m_norm/2" + s, [&](digest& d) {
      d.scalar(m_norm(a));
      d.scalar(m_norm(a, 2));
      d.scalar(m_norm(a, 7));
    });
    run.call("m_cond" + s, [&](digest& d) { d.scalar(m_cond(a)); });
  }
  run.call("m_norm/rectangular", [&](digest& d) {
    const t_matrix a = matrix_of(7, 3, 18500, kind::graded);
    for (const std::int32_t p : {1, 0, -1, 2}) d.scalar(m_norm(a, p));
  });
  run.call("m_norm/zero", [&](digest& d) { d.scalar(m_norm(column_major(2, 2, {0, 0, 0, 0}))); });
  run.call("m_cond/singular", [&](digest& d) { d.scalar(m_cond(rank_deficient(5, 5, 2, 18600))); });
  run.call("math_machine_eps", [&](digest& d) { d.scalar(math_machine_eps()); });
  // The free-format number fields are part of the output bits too.
  run.call("m_print/special", [&](digest&) {
    m_print(special_matrix());
    m_print(matrix_of(3, 5, 19000, kind::graded));
  });
  run.call("v_print/special", [&](digest&) {
    v_print(special_vector());
    v_print_c(vector_of(6, 19100, kind::graded));
  });
}

// The fast decompositions and the rescues of the front ends, on shapes that
// cross their block sizes (panels of 32, blocked above 96 columns; the QR
// first from 32 columns and twice as many rows).
void fast_decompositions(runner& run) {
  const std::vector<std::array<std::int32_t, 2>> shapes = {{1, 1},   {2, 2},   {5, 3},    {3, 5},    {37, 37},
                                                           {70, 29}, {13, 45}, {100, 97}, {97, 130}, {130, 130},
                                                           {64, 32}, {80, 33}, {40, 130}, {300, 130}};
  for (const auto& shape_of : shapes) {
    const std::int32_t r = shape_of[0];
    const std::int32_t c = shape_of[1];
    if (!within(std::max(r, c))) continue;
    const std::string s = join("/", shape(r, c));
    const t_matrix a = matrix_of(r, c, 21000 + static_cast<std::uint64_t>(r * 131 + c));
    const t_matrix g = matrix_of(r, c, 21500 + static_cast<std::uint64_t>(r * 131 + c), kind::graded);
    run.call("m_svd" + s, [&](digest& d) {
      d.record(m_svd(a));
      d.record(m_svd(g, true));
    });
    run.call("m_svd_values" + s, [&](digest& d) {
      d.vector(m_svd_values(a));
      d.vector(m_svd_values(g));
    });
  }
  for (const std::int32_t n : {1, 2, 5, 16, 33, 97, 130}) {
    if (!within(n)) continue;
    const std::string s = join("/", std::to_string(n));
    const t_matrix sym = symmetric(n, 22000 + n);
    const t_matrix a = matrix_of(n, n, 22500 + n, kind::graded);
    run.call("m_eig_sym" + s, [&](digest& d) {
      d.record(m_eig_sym(sym));
      d.record(m_eig_sym(sym, false));
    });
    run.call("m_eig_gen" + s, [&](digest& d) {
      d.record(m_eig_gen(a, true));
      d.record(m_eig_gen(a));
    });
  }
  // A zero leading pivot: the LU determinant from partial pivoting.
  run.call("m_det/lu/zero-pivot", [&](digest& d) {
    t_matrix a = matrix_of(6, 6, 23000);
    at(a, 1, 1) = 0.0f;
    d.scalar(m_det(a, "lu"));
    d.scalar(m_det_lu_all(a, true));
  });
  // Columns of very different lengths: the Cholesky pseudo-inverse loses
  // its digits and the fast SVD's replaces it.
  run.call("m_pinv/chol/polynomial", [&](digest& d) {
    t_matrix x = matrix_of(30, 3, 23100);
    for (std::int32_t i = 1; i <= 30; ++i) {
      const float t = 100.0f + static_cast<float>(i);
      at(x, i, 1) = 1.0f;
      at(x, i, 2) = t;
      at(x, i, 3) = t * t;
    }
    d.matrix(m_pinv(x));
  });
  // Each singular value twice: the power iteration cannot settle.
  run.call("m_cond/kershaw", [&](digest& d) {
    const t_matrix k = column_major(4, 4, {3, -2, 0, 2, -2, 3, -2, 0, 0, -2, 3, -2, 2, 0, -2, 3});
    d.scalar(m_cond(k));
    d.scalar(m_norm(m_inverse_gaussj(k), 2));
  });
  // The repeated-QR SVD answered from the fast one: a zero column refused
  // by plain Gram-Schmidt (every shape), and singular values too close for
  // the default sweep limit.
  for (const auto& shape_of : std::vector<std::array<std::int32_t, 2>>{{3, 3}, {7, 4}, {4, 7}}) {
    t_matrix a = matrix_of(shape_of[0], shape_of[1], 23200 + static_cast<std::uint64_t>(shape_of[0]));
    for (std::int32_t i = 1; i <= a.rows; ++i) at(a, i, 2) = 0.0f;
    run.call("m_decompsvd/refused" + join("/", shape(a.rows, a.cols)), [&](digest& d) {
      d.record(m_decompsvd(a));
      d.vector(m_decompsvd_s(a, {}, 3));
    });
  }
  run.call("m_decompsvd/close-values", [&](digest& d) {
    const t_matrix a = column_major(2, 2, {0.999360025f, 0.000479966402f, 0.000479996204f, 0.999640107f});
    d.record(m_decompsvd(a));
    d.record(m_decompsvd(a, {}, {}, "ho"));
    d.vector(m_decompsvd_s(a, {}, {}, "gsro"));
  });
}

// The text files: each writer's bytes and what the readers make of them, so
// that a platform with another byte order or C library shows any change in
// the file format or its reading.
std::string file_contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void text_files(runner& run) {
  const std::string path = "orvik-golden-" + std::to_string(getpid()) + ".dat";
  const t_matrix special = special_matrix();
  const t_matrix graded = matrix_of(5, 3, 31, kind::graded);
  const t_vector values = special_vector();
  const t_vector uniform = vector_of(9, 32);
  using matrix_writer = void (*)(const t_matrix&, std::string_view, std::optional<std::int32_t>,
                                 std::optional<std::string_view>, std::optional<std::string_view>);
  using vector_writer = void (*)(const t_vector&, std::string_view, std::optional<std::int32_t>,
                                 std::optional<std::string_view>, std::optional<std::string_view>);
  const std::pair<std::string, matrix_writer> matrix_writers[] = {{"m_print_tofile/", m_print_tofile},
                                                                  {"m_save_tofile/", m_save_tofile}};
  const std::pair<std::string, vector_writer> vector_writers[] = {{"v_print_tofile/", v_print_tofile},
                                                                  {"v_save_tofile/", v_save_tofile}};
  for (const auto& [name, m] : {std::pair<std::string, const t_matrix*>{"special", &special}, {"graded", &graded}}) {
    for (const auto& [writer_name, writer] : matrix_writers) {
      run.call(writer_name + name, [&, m = m, writer = writer](digest& d) {
        writer(*m, path, std::nullopt, "replace", std::nullopt);
        d.text(file_contents(path));
        t_matrix back;
        m_init_fromfile(back, path);
        d.matrix(back);
      });
    }
  }
  for (const auto& [name, v] : {std::pair<std::string, const t_vector*>{"special", &values}, {"uniform", &uniform}}) {
    for (const auto& [writer_name, writer] : vector_writers) {
      run.call(writer_name + name, [&, v = v, writer = writer](digest& d) {
        writer(*v, path, std::nullopt, "replace", std::nullopt);
        d.text(file_contents(path));
        t_vector back;
        v_init_fromfile(back, path);
        d.vector(back);
        // The one-value-per-line layout, read by nothing: its bytes only.
        if (writer == v_print_tofile) {
          v_print_c_tofile(*v, path, std::nullopt, "replace");
          d.text(file_contents(path));
        }
      });
    }
  }
  std::remove(path.c_str());
}

std::vector<result_line> run_all() {
  runner run;
  vectors(run);
  products(run);
  elementwise(run);
  structured(run);
  eliminations(run);
  orthogonal(run);
  spectral(run);
  front_ends(run);
  fast_decompositions(run);
  text_files(run);
  return run.results();
}

// ---------------------------------------------------------------- the file

std::string hex(std::uint64_t v) {
  std::array<char, 17> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%016llx", static_cast<unsigned long long>(v));
  return buffer.data();
}

// "name digest", and the error number for a call that stopped, so that a
// diff of the file shows which calls moved and how.
std::string file_line(const result_line& r) {
  std::string line = r.name + ' ' + hex(r.digest);
  if (r.stop != 0) line += join(" stop=", std::to_string(r.stop));
  return line;
}

int usage() {
  std::cerr << "usage: orvik_golden [--max-size N] [--update | --time] FILE | --print\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  const bool limited = args.size() >= 2 && args[0] == "--max-size";
  if (limited) {
    size_limit = std::stoi(std::string(args[1]));
    args.erase(args.begin(), args.begin() + 2);
  }
  const bool update = !args.empty() && args[0] == "--update";
  const bool timing = !args.empty() && args[0] == "--time";
  const bool print = !args.empty() && args[0] == "--print";
  const std::size_t file_arg = update || timing ? 1 : 0;
  if (!print && args.size() != file_arg + 1) return usage();
  if (limited && update) return usage();  // the file holds every call

  const std::vector<result_line> results = run_all();

  if (print) {
    for (const auto& r : results) std::cout << file_line(r) << '\n';
    return 0;
  }
  const std::string path(args[file_arg]);
  if (update) {
    std::ofstream out(path);
    for (const auto& r : results) out << file_line(r) << '\n';
    if (!out) {
      std::cerr << "cannot write " << path << '\n';
      return 2;
    }
    std::cout << "wrote " << results.size() << " digests to " << path << '\n';
    return 0;
  }

  std::ifstream in(path);
  if (!in) {
    std::cerr << "cannot read " << path << '\n';
    return 2;
  }
  std::map<std::string, std::string> expected;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name;
    std::string value;
    if (fields >> name >> value) expected[name] = value;
  }
  std::size_t differ = 0;
  std::map<std::string, bool> seen;
  for (const auto& r : results) {
    seen[r.name] = true;
    const auto it = expected.find(r.name);
    const std::string got = hex(r.digest);
    if (it == expected.end()) {
      std::cout << "new      " << r.name << ' ' << got << '\n';
      ++differ;
    } else if (it->second != got) {
      std::cout << "differs  " << r.name << " expected " << it->second << " got " << got << '\n';
      ++differ;
    }
  }
  for (const auto& entry : expected) {
    const std::string& name = entry.first;
    if (!limited && !seen.count(name)) {
      std::cout << "missing  " << name << '\n';
      ++differ;
    }
  }
  if (timing) {
    std::vector<result_line> slow = results;
    std::sort(slow.begin(), slow.end(), [](const auto& x, const auto& y) { return x.seconds > y.seconds; });
    double total = 0.0;
    for (const auto& r : results) total += r.seconds;
    std::cerr << "total " << total << " s\n";
    for (std::size_t k = 0; k < std::min<std::size_t>(25, slow.size()); ++k) {
      std::cerr << slow[k].seconds << " s  " << slow[k].name << '\n';
    }
  }
  std::cout << "golden digests: " << results.size() << " calls";
  if (limited) std::cout << " (shapes up to " << size_limit << ")";
  std::cout << ", " << differ << " differ\n";
  return differ == 0 ? 0 : 1;
}
