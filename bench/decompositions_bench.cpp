// QR (Householder, Gram-Schmidt, re-orthogonalised Gram-Schmidt), SVD,
// QR-iteration eigenvalues, and the routines built on the SVD and the power
// iteration (rank, pseudo-inverses, spectral norm, condition number,
// deflation): timings, and digests of every result bit and of the remembered
// defaults each call leaves.
//
// It uses the public operations only, so that bench/compare_commits.sh can
// build it unchanged against an earlier commit and put both side by side.
//
//   decompositions_bench time [sizes...]   one line per routine and size:
//                                          "time <routine> <n> <ms> <digest>"
//   decompositions_bench digest            one line per case of the
//                                          differential set: "<case> <digest>"
//
// With ORVIK_BENCH_LAPACK the time mode adds LAPACK's nearest routines for
// scale (their algorithms differ), and "rate" lines: the product flop rate
// of the Householder steps next to that of m_prod_mat on n x n.

#include <orvik/orvik.hpp>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if ORVIK_BENCH_LAPACK
extern "C" {
void sgeqrf_(const int* m, const int* n, float* a, const int* lda, float* tau, float* work, const int* lwork,
             int* info);
void sorgqr_(const int* m, const int* n, const int* k, float* a, const int* lda, const float* tau, float* work,
             const int* lwork, int* info);
void sgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, float* a, const int* lda, float* s,
             float* u, const int* ldu, float* vt, const int* ldvt, float* work, const int* lwork, int* info,
             std::size_t jobu_len, std::size_t jobvt_len);
void sgeev_(const char* jobvl, const char* jobvr, const int* n, float* a, const int* lda, float* wr, float* wi,
            float* vl, const int* ldvl, float* vr, const int* ldvr, float* work, const int* lwork, int* info,
            std::size_t jobvl_len, std::size_t jobvr_len);
}
#endif

namespace {

using namespace orvik;
using opt_text = std::optional<std::string_view>;

// ---- inputs: a generator of our own, so both builds see the same values.

struct lcg {
  std::uint64_t state;
  explicit lcg(std::uint64_t seed) : state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
  // Uniform in [-1, 1) on a grid of 2^-23.
  float next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const auto bits = static_cast<std::int32_t>(state >> 40);  // 24 bits
    return static_cast<float>(bits - (1 << 23)) / static_cast<float>(1 << 23);
  }
};

t_matrix random_matrix(std::int32_t rows, std::int32_t cols, std::uint64_t seed, float scale = 1.0f) {
  t_matrix m = m_zeros(rows, cols);
  lcg gen(seed);
  for (float& x : m.elements) x = scale * gen.next();
  return m;
}

float& at(t_matrix& m, std::int32_t i, std::int32_t j) {
  return m
      .elements[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i - 1)];
}

// ---- digests

// Two hashes: `h` of the values with every NaN counted as one value, and
// `raw` of the bits as stored. Which of two different NaNs a fused step
// passes on (its sign and payload) is the instruction's choice, and differs
// already between the reference and the optimised kernels; the values and
// where the NaNs are are the contract.
struct digest {
  std::uint64_t h = 1469598103934665603ULL;
  std::uint64_t raw = 1469598103934665603ULL;
  // A digest that takes nothing in: the timed runs use one, so that the
  // times are the routine's alone.
  bool active = true;
  void mix(std::uint64_t& into, const void* p, std::size_t n) const {
    if (!active) return;
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) into = (into ^ b[i]) * 1099511628211ULL;
  }
  void bytes(const void* p, std::size_t n) {
    mix(h, p, n);
    mix(raw, p, n);
  }
  void i32(std::int32_t v) { bytes(&v, sizeof v); }
  void f32(float v) {
    const auto bits = std::bit_cast<std::int32_t>(v);
    const std::int32_t value = std::isnan(v) ? 0x7fc00000 : bits;
    mix(h, &value, sizeof value);
    mix(raw, &bits, sizeof bits);
  }
  void matrix(const t_matrix& m) {
    if (!active) return;
    i32(m.rows);
    i32(m.cols);
    i32(m.allocated ? 1 : 0);
    if (m.allocated) {
      for (const float x : m.elements) f32(x);
    }
  }
  void vector(const t_vector& v) {
    if (!active) return;
    i32(v.size);
    i32(v.allocated ? 1 : 0);
    if (v.allocated) {
      for (const float x : v.elements) f32(x);
    }
  }
  void text(std::string_view s) {
    i32(static_cast<std::int32_t>(s.size()));
    bytes(s.data(), s.size());
  }
};

// Index matrices for reading back the remembered bounds of m_extract: the
// first element of a block of `rows_index` is its first row, and so on.
constexpr std::int32_t probe_order = 300;
const t_matrix& rows_index() {
  static const t_matrix m = [] {
    t_matrix r = m_zeros(probe_order, probe_order);
    for (std::int32_t j = 1; j <= probe_order; ++j)
      for (std::int32_t i = 1; i <= probe_order; ++i) at(r, i, j) = static_cast<float>(i);
    return r;
  }();
  return m;
}
const t_matrix& cols_index() {
  static const t_matrix m = [] {
    t_matrix r = m_zeros(probe_order, probe_order);
    for (std::int32_t j = 1; j <= probe_order; ++j)
      for (std::int32_t i = 1; i <= probe_order; ++i) at(r, i, j) = static_cast<float>(j);
    return r;
  }();
  return m;
}

// The remembered sizes of m_init and v_init and the bounds of m_extract, in
// that order (each probe of m_extract moves m_init's sizes).
void remembered_state(digest& d) {
  raising_scope raising;
  const auto probe = [&d](const std::function<void()>& read) {
    try {
      read();
    } catch (const orvik::error& e) {
      d.i32(e.exception().number);
      d.text(std::string_view(e.exception().warning.data(), e.exception().warning.size()));
    }
  };
  probe([&d] {
    t_matrix m;
    m_init(m);
    d.i32(m.rows);
    d.i32(m.cols);
  });
  probe([&d] {
    t_vector v;
    v_init(v);
    d.i32(v.size);
  });
  for (const t_matrix* index : {&rows_index(), &cols_index()}) {
    probe([&d, index] {
      const t_matrix block = m_extract(*index);
      d.i32(block.rows);
      d.i32(block.cols);
      d.f32(block.elements.empty() ? -1.0f : block.elements[0]);
    });
  }
}

// Leaves every remembered default at one known value before a case.
void reset_state() {
  t_matrix m;
  (void)m_extract(rows_index(), 2, 4, 3, 7);
  m_init(m, 7, 9);
  t_vector v;
  v_init(v, 11);
}

// Runs `call` in the raising mode; the digest covers its result or its
// error, then the remembered state it left.
digest run_case(const std::function<void(digest&)>& call) {
  reset_state();
  digest d;
  {
    raising_scope raising;
    try {
      call(d);
      d.i32(0);
    } catch (const orvik::error& e) {
      d.i32(e.exception().number);
      d.text(std::string_view(e.exception().warning.data(), e.exception().warning.size()));
    }
  }
  remembered_state(d);
  return d;
}

void qr_into(digest& d, const t_qr& qr) {
  d.matrix(qr.Q);
  d.matrix(qr.R);
  d.matrix(qr.P);
  d.i32(qr.nb_permut);
}

// ---- the differential set

t_matrix special_matrix(std::int32_t rows, std::int32_t cols, int kind, std::uint64_t seed) {
  t_matrix a = random_matrix(rows, cols, seed);
  const auto fill_col = [&](std::int32_t j, float value) {
    for (std::int32_t i = 1; i <= rows; ++i) at(a, i, j) = value;
  };
  switch (kind) {
    case 0:
      break;
    case 1:  // large: squares overflow
      for (float& x : a.elements) x *= 3e19f;
      break;
    case 2:  // tiny: squares underflow
      for (float& x : a.elements) x *= 1e-21f;
      break;
    case 3:  // a zero column
      fill_col(std::min<std::int32_t>(2, cols), 0.0f);
      break;
    case 4:  // all zero
      for (float& x : a.elements) x = 0.0f;
      break;
    case 5:  // a repeated column (dependent)
      if (cols >= 2)
        for (std::int32_t i = 1; i <= rows; ++i) at(a, i, cols) = at(a, i, 1);
      break;
    case 6:  // rank one
      for (std::int32_t j = 1; j <= cols; ++j)
        for (std::int32_t i = 1; i <= rows; ++i) at(a, i, j) = at(a, i, 1) * static_cast<float>(j);
      break;
    case 7:  // a NaN
      at(a, rows, 1) = std::numeric_limits<float>::quiet_NaN();
      break;
    case 8:  // an infinity
      at(a, 1, cols) = -std::numeric_limits<float>::infinity();
      break;
    case 9:  // small integers: ties for the pivoting, exact zeros in the steps
      for (float& x : a.elements) x = std::round(x * 3.0f);
      break;
    case 10:  // identity-like, with negative signs
      for (float& x : a.elements) x = 0.0f;
      for (std::int32_t i = 1; i <= std::min(rows, cols); ++i) at(a, i, i) = i % 2 == 0 ? -1.0f : 2.0f;
      break;
    case 11:  // subnormal entries
      for (float& x : a.elements) x *= 1e-39f;
      break;
    case 12:  // a nearly dependent column: the re-orthogonalising passes
      if (cols >= 2)
        for (std::int32_t i = 1; i <= rows; ++i) at(a, i, cols) = at(a, i, 1) + 1e-5f * at(a, i, cols);
      break;
    default:  // graded columns
      for (std::int32_t j = 1; j <= cols; ++j)
        for (std::int32_t i = 1; i <= rows; ++i) at(a, i, j) *= std::ldexp(1.0f, -3 * j);
      break;
  }
  return a;
}

// A symmetric positive definite matrix, A^T A / n + I, on which the power
// iteration and the deflation settle.
t_matrix gram_plus_identity(const t_matrix& a) {
  const t_matrix g = m_prod_mat(m_trans(a), a);
  const t_matrix scaled = m_div_scalar(g, static_cast<float>(a.rows));
  return m_add(scaled, m_identity(a.rows));
}

// Standard output sent elsewhere for a scope: the deflation prints its
// residuals, which would mix with the lines of this program.
class quiet_stdout {
 public:
  quiet_stdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null != nullptr) {
      dup2(fileno(null), STDOUT_FILENO);
      std::fclose(null);
    }
  }
  ~quiet_stdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  quiet_stdout(const quiet_stdout&) = delete;
  quiet_stdout& operator=(const quiet_stdout&) = delete;

 private:
  int saved_;
};

// The routines around the SVD and the power iteration: the spectral norm,
// the condition number, the deflation (its printed residuals dropped here;
// the golden tests compare them), the pseudo-inverses and the rank by
// singular values.
void digest_power_and_fronts(const t_matrix& a, const std::string& base,
                             const std::function<void(const std::string&, const digest&)>& emit) {
  emit("norm2 " + base, run_case([&](digest& d) { d.f32(m_norm(a, 2)); }));
  emit("pinv_chol " + base, run_case([&](digest& d) { d.matrix(m_pinv(a)); }));
  emit("pinv_chol_tol " + base, run_case([&](digest& d) { d.matrix(m_pseudoinv_chol(a, -1.0f)); }));
  for (const opt_text method : {opt_text{}, opt_text{"ho"}, opt_text{"gsro"}}) {
    const std::string tag = base + " " + std::string(method.value_or("-"));
    emit("pinv_svd " + tag, run_case([&](digest& d) { d.matrix(m_pseudoinv_svd(a, 1e-4f, 40, method)); }));
    emit("rank_svd " + tag, run_case([&](digest& d) { d.i32(m_rank(a, 1e-3f, "svd", 1e-4f, 40, method)); }));
  }
  if (a.rows != a.cols) return;
  emit("cond " + base, run_case([&](digest& d) { d.f32(m_cond(a)); }));
  const t_matrix spd = gram_plus_identity(a);
  for (const t_matrix* m : {&a, &spd}) {
    const std::string tag = base + (m == &a ? " a" : " spd");
    emit("pow " + tag, run_case([&](digest& d) {
           const t_poweig e = m_pow_eig(*m);
           d.f32(e.eigval);
           d.vector(e.eigvec);
           d.vector(e.errors);
           d.i32(e.nb_iter);
         }));
    emit("deflation " + tag, run_case([&](digest& d) {
           const quiet_stdout quiet;
           const t_eig e = m_eig_deflation(*m);
           d.vector(e.eigvals);
           d.matrix(e.eigvecs);
         }));
  }
}

void digest_mode() {
  struct shape {
    std::int32_t rows, cols;
  };
  std::vector<shape> shapes = {{1, 1}, {1, 5}, {5, 1}, {2, 2},   {3, 2},  {2, 3},  {4, 4},   {7, 3},
                               {3, 7}, {8, 8}, {9, 9}, {16, 16}, {17, 9}, {9, 17}, {33, 33}, {40, 24}};
  lcg sizes(99);
  for (int t = 0; t < 12; ++t) {
    const auto r = static_cast<std::int32_t>(1 + (sizes.next() + 1.0f) * 14.0f);
    const auto c = static_cast<std::int32_t>(1 + (sizes.next() + 1.0f) * 14.0f);
    shapes.push_back({r, c});
  }
  const std::vector<std::optional<bool>> permutes = {std::nullopt, false, true};
  digest all;
  const auto emit = [&all](const std::string& name, const digest& d) {
    std::printf("%s %016llx %016llx\n", name.c_str(), static_cast<unsigned long long>(d.h),
                static_cast<unsigned long long>(d.raw));
    all.h = all.h * 31 + d.h;
    all.raw = all.raw * 31 + d.raw;
  };
  std::uint64_t seed = 1;
  for (const shape s : shapes) {
    for (int kind = 0; kind <= 13; ++kind) {
      const t_matrix a = special_matrix(s.rows, s.cols, kind, seed++);
      const std::string base = std::to_string(s.rows) + "x" + std::to_string(s.cols) + " k" + std::to_string(kind);
      // The rank that plain Gram-Schmidt consults.
      emit("rank " + base, run_case([&](digest& d) { d.i32(m_rank_gaussj(a)); }));
      for (std::size_t p = 0; p < permutes.size(); ++p) {
        const auto perm = permutes[p];
        const std::string tag = base + " p" + std::to_string(p);
        emit("ho " + tag, run_case([&](digest& d) { qr_into(d, m_decompqr(a, "ho", std::nullopt, perm)); }));
        emit("gs " + tag, run_case([&](digest& d) { qr_into(d, m_decompqr(a, std::nullopt, std::nullopt, perm)); }));
        for (const std::optional<float> tol : {std::optional<float>{}, std::optional<float>{0.0f},
                                               std::optional<float>{1e-3f}, std::optional<float>{0.05f}}) {
          emit("gsro " + tag + " t" + std::to_string(tol.value_or(-1.0f)),
               run_case([&](digest& d) { qr_into(d, m_decompqr(a, "gsro", tol, perm)); }));
        }
      }
      if (s.rows == s.cols) {
        for (const opt_text method : {opt_text{}, opt_text{"ho"}, opt_text{"gsro"}}) {
          for (const std::int32_t niter : {0, 1, 4, 3 * s.rows}) {
            for (std::size_t p = 0; p < permutes.size(); p += 2) {
              emit("eig " + base + " " + std::string(method.value_or("-")) + " i" + std::to_string(niter) + " p" +
                       std::to_string(p),
                   run_case([&](digest& d) { d.vector(m_eig_qr(a, niter, method, std::nullopt, permutes[p])); }));
            }
          }
        }
      }
      // A few sweeps of the SVD on every method, also when they do not
      // converge (error 301 and the state it leaves are compared too).
      if (s.rows <= 17 && s.cols <= 17) {
        digest_power_and_fronts(a, base, emit);
        for (const opt_text method : {opt_text{}, opt_text{"ho"}, opt_text{"gsro"}}) {
          for (const std::int32_t maxiter : {0, 3, 60}) {
            emit("svd " + base + " " + std::string(method.value_or("-")) + " i" + std::to_string(maxiter),
                 run_case([&](digest& d) {
                   const t_svd f = m_decompsvd(a, 1e-4f, maxiter, method);
                   d.matrix(f.S);
                   d.matrix(f.U);
                   d.matrix(f.V);
                 }));
            emit("svds " + base + " " + std::string(method.value_or("-")) + " i" + std::to_string(maxiter),
                 run_case([&](digest& d) { d.vector(m_decompsvd_s(a, 1e-4f, maxiter, method)); }));
          }
        }
      }
    }
  }
  // Inputs the checks refuse, and shapes without elements.
  const t_matrix unallocated;
  const t_matrix no_rows = m_zeros(0, 3);
  const t_matrix no_cols = m_zeros(3, 0);
  const t_matrix wide = random_matrix(2, 3, 5);
  for (const t_matrix* a : {&unallocated, &no_rows, &no_cols, &wide}) {
    const std::string tag = std::to_string(a->rows) + "x" + std::to_string(a->cols) + (a->allocated ? "" : " u");
    for (const opt_text method : {opt_text{"ho"}, opt_text{}, opt_text{"gsro"}}) {
      const std::string name = std::string(method.value_or("gs")) + " refused " + tag;
      emit(name, run_case([&](digest& d) { qr_into(d, m_decompqr(*a, method)); }));
      emit("eig " + name, run_case([&](digest& d) { d.vector(m_eig_qr(*a, 2, method)); }));
    }
  }
  emit("all", all);
}

// ---- timings

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of repeated runs, repeated until `budget` seconds are spent
// (at least once). A run that takes less than 50 microseconds is timed in
// batches of that length, so that reading the clock does not count.
double time_ms(const std::function<void()>& run, double budget) {
  const auto first = std::chrono::steady_clock::now();
  run();
  const double once = seconds_since(first);
  const int batch = once < 50e-6 ? static_cast<int>(50e-6 / std::max(once, 1e-9)) + 1 : 1;
  std::vector<double> times;
  const auto begin = std::chrono::steady_clock::now();
  do {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < batch; ++i) run();
    times.push_back(1e3 * seconds_since(start) / batch);
  } while (seconds_since(begin) < budget && times.size() < 1000);
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// ORVIK_BENCH_ONLY, a comma-separated list of routine names, limits the run
// to those (the LAPACK and rate lines come with qr_ho).
bool wanted(std::string_view name) {
  const char* only = std::getenv("ORVIK_BENCH_ONLY");
  if (only == nullptr || *only == '\0') return true;
  std::string_view list(only);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (list.substr(0, comma) == name) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

void time_mode(const std::vector<std::int32_t>& sizes, double budget) {
  for (const std::int32_t n : sizes) {
    const t_matrix a = random_matrix(n, n, static_cast<std::uint64_t>(n));
    const t_matrix b = random_matrix(n, n, static_cast<std::uint64_t>(n) + 7);
    const auto report = [&](const char* name, const std::function<void(digest&)>& call) {
      if (!wanted(name)) return 0.0;
      digest d;
      call(d);
      const double ms = time_ms(
          [&] {
            digest idle;
            idle.active = false;
            call(idle);
          },
          budget);
      std::printf("time %s %d %.6f %016llx\n", name, n, ms, static_cast<unsigned long long>(d.h));
      std::fflush(stdout);
      return ms;
    };
    const double ho_ms = report("qr_ho", [&](digest& d) { qr_into(d, m_decompqr(a, "ho")); });
    report("qr_gs", [&](digest& d) { qr_into(d, m_decompqr(a, "gs")); });
    report("qr_gsro", [&](digest& d) { qr_into(d, m_decompqr(a, "gsro")); });
    report("svd", [&](digest& d) {
      const t_svd f = m_decompsvd(a);
      d.matrix(f.S);
      d.matrix(f.U);
      d.matrix(f.V);
    });
    report("eig_qr", [&](digest& d) { d.vector(m_eig_qr(a, 100 * n)); });
    // The routines below may stop (a negative dominant eigenvalue, a sweep
    // limit): the stop is timed as it comes, in the raising mode.
    const auto raising = [](const std::function<void(digest&)>& call) {
      return [call](digest& d) {
        const raising_scope scope;
        try {
          call(d);
        } catch (const orvik::error& e) {
          d.i32(e.exception().number);
        }
      };
    };
    const t_matrix spd = gram_plus_identity(a);
    report("rank_gj", [&](digest& d) { d.i32(m_rank_gaussj(a)); });
    report("pow_eig", raising([&](digest& d) {
             const t_poweig e = m_pow_eig(spd);
             d.f32(e.eigval);
             d.vector(e.errors);
           }));
    report("norm2", raising([&](digest& d) { d.f32(m_norm(a, 2)); }));
    report("cond", raising([&](digest& d) { d.f32(m_cond(a)); }));
    report("deflation", raising([&](digest& d) {
             const quiet_stdout quiet;
             const t_eig e = m_eig_deflation(spd);
             d.vector(e.eigvals);
           }));
    report("pinv_chol", raising([&](digest& d) { d.matrix(m_pinv(a)); }));
    report("pinv_svd", raising([&](digest& d) {
             d.matrix(m_pinv(a, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "svd"));
           }));
    report("rank_svd", raising([&](digest& d) { d.i32(m_rank(a, std::nullopt, "svd")); }));

    if (!wanted("qr_ho")) continue;
    // The flops of the Householder steps' explicit products: Q(1..n, k..n) * H
    // and H * R(k..n, k..n), against m_prod_mat on n x n.
    double flops = 0.0;
    for (std::int32_t k = 1; k <= n - 1; ++k) {
      const double mk = n - k + 1;
      flops += 2.0 * n * mk * mk + 2.0 * mk * mk * mk;
    }
    const double prod_ms = time_ms([&] { (void)m_prod_mat(a, b); }, budget);
    std::printf("rate qr_ho_products %d %.3f\n", n, flops / (ho_ms * 1e6));
    std::printf("rate m_prod_mat %d %.3f\n", n, 2.0 * n * n * n / (prod_ms * 1e6));

#if ORVIK_BENCH_LAPACK
    const int ni = n;
    int info = 0;
    const auto lapack_report = [&](const char* name, const std::function<void()>& run) {
      std::printf("lapack %s %d %.4f\n", name, n, time_ms(run, budget));
      std::fflush(stdout);
    };
    lapack_report("qr_sgeqrf_sorgqr", [&] {
      std::vector<float> w = a.elements;
      std::vector<float> tau(static_cast<std::size_t>(n));
      std::vector<float> work(static_cast<std::size_t>(64) * n);
      const int lwork = static_cast<int>(work.size());
      sgeqrf_(&ni, &ni, w.data(), &ni, tau.data(), work.data(), &lwork, &info);
      sorgqr_(&ni, &ni, &ni, w.data(), &ni, tau.data(), work.data(), &lwork, &info);
    });
    lapack_report("svd_sgesvd", [&] {
      std::vector<float> w = a.elements;
      std::vector<float> s(static_cast<std::size_t>(n));
      std::vector<float> u(static_cast<std::size_t>(n) * n);
      std::vector<float> vt(static_cast<std::size_t>(n) * n);
      std::vector<float> work(static_cast<std::size_t>(64) * n + 64);
      const int lwork = static_cast<int>(work.size());
      sgesvd_("A", "A", &ni, &ni, w.data(), &ni, s.data(), u.data(), &ni, vt.data(), &ni, work.data(), &lwork, &info, 1,
              1);
    });
    lapack_report("eig_sgeev", [&] {
      std::vector<float> w = a.elements;
      std::vector<float> re(static_cast<std::size_t>(n));
      std::vector<float> im(static_cast<std::size_t>(n));
      std::vector<float> work(static_cast<std::size_t>(64) * n + 64);
      const int lwork = static_cast<int>(work.size());
      const int one = 1;
      sgeev_("N", "N", &ni, w.data(), &ni, re.data(), im.data(), nullptr, &one, nullptr, &one, work.data(), &lwork,
             &info, 1, 1);
    });
#endif
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "time";
  if (mode == "digest") {
    digest_mode();
    return 0;
  }
  std::vector<std::int32_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(static_cast<std::int32_t>(std::atoi(argv[i])));
  if (sizes.empty()) sizes = {16, 64, 128};
  const char* budget = std::getenv("ORVIK_BENCH_SECONDS");
  time_mode(sizes, budget != nullptr ? std::atof(budget) : 0.5);
  return 0;
}
