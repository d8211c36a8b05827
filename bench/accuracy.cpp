// Accuracy and robustness of the factorizations and solvers on families of
// ordinary inputs, against double-precision LAPACK.
//
// For every routine x input family (x size) the table gives the number of
// calls, the share that stop, by error number, and the accuracy of the
// others: a residual ratio in units of n*eps (as in LAPACK's testing) or a
// relative error, median and worst. A second mode writes a digest of every
// result (its bits, the stop number, and the remembered sizes and bounds the
// call leaves), so that two builds can be compared call by call.
//
//   orvik_accuracy [--full] [--by-size] [--verbose] [--only=<text>] [--digest=<file>]
//   orvik_accuracy --compare <before> <after>
//
// The default run is a short sample (about half a minute); --full sweeps sizes
// 2 ... 32 with more samples per size (2 ... 16 for the SVD on Householder
// QR, whose explicit reflections make a non-converging run cost O(n^5)).

#include "accuracy_support.hpp"

#include <orvik/orvik.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
}

namespace {

using namespace orvik_accuracy;  // NOLINT(google-build-using-namespace): the shared oracles and measures

// ---------------------------------------------------------------- inputs

const std::vector<std::string> families = {"u05",   "u1_10",   "sym",     "spd",   "x1e-6",
                                           "x1e+6", "rankdef", "hilbert", "graded"};

t_matrix make_matrix(std::int32_t n, const std::function<double(std::int32_t, std::int32_t)>& value) {
  t_matrix m = orvik::m_zeros(n, n);
  for (std::int32_t j = 1; j <= n; ++j)
    for (std::int32_t i = 1; i <= n; ++i)
      m.elements[static_cast<std::size_t>((j - 1) * n + (i - 1))] = static_cast<float>(value(i, j));
  return m;
}

t_matrix input(const std::string& family, std::int32_t n, std::int32_t sample) {
  std::seed_seq seed{static_cast<int>(std::hash<std::string>{}(family)&0xffff), n, sample};
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u05(-0.5, 0.5);
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> r(size * size);
  for (double& x : r) x = u05(gen);
  const auto at = [&](std::int32_t i, std::int32_t j) { return r[static_cast<std::size_t>((j - 1) * n + (i - 1))]; };
  if (family == "u05") return make_matrix(n, at);
  if (family == "u1_10") return make_matrix(n, [&](auto i, auto j) { return 5.5 + 9.0 * at(i, j); });
  if (family == "sym") return make_matrix(n, [&](auto i, auto j) { return 0.5 * (at(i, j) + at(j, i)); });
  if (family == "spd")
    return make_matrix(n, [&](auto i, auto j) {
      double s = i == j ? 0.1 : 0.0;
      for (std::int32_t k = 1; k <= n; ++k) s += at(k, i) * at(k, j) / n;
      return s;
    });
  if (family == "x1e-6") return make_matrix(n, [&](auto i, auto j) { return 1e-6 * at(i, j); });
  if (family == "x1e+6") return make_matrix(n, [&](auto i, auto j) { return 1e+6 * at(i, j); });
  if (family == "rankdef")
    return make_matrix(n, [&](auto i, auto j) {
      double s = 0.0;  // rank max(1, n/2): the first columns of r times the first rows of r
      for (std::int32_t k = 1; k <= std::max(1, n / 2); ++k) s += at(i, k) * at(k, j);
      return s;
    });
  if (family == "hilbert") return make_matrix(n, [](auto i, auto j) { return 1.0 / (i + j - 1); });
  // graded: columns scaled from 1 down to 1e-2
  return make_matrix(n, [&](auto i, auto j) { return at(i, j) * std::pow(10.0, -2.0 * (j - 1) / std::max(1, n - 1)); });
}

// ---------------------------------------------------------------- double oracles

double determinant(const t_matrix& a) {
  const int n = a.rows;
  dmat w = to_double(a);
  std::vector<int> ipiv(static_cast<std::size_t>(n));
  int info = 0;
  dgetrf_(&n, &n, w.data(), &n, ipiv.data(), &info);
  double d = 1.0;
  for (int i = 0; i < n; ++i)
    d *= (ipiv[static_cast<std::size_t>(i)] != i + 1 ? -1.0 : 1.0) * w[static_cast<std::size_t>(i * n + i)];
  return d;
}

// The rank at single-precision resolution: singular values above
// sigma_1 * n * eps.
int numerical_rank(const std::vector<double>& s, std::int32_t n) {
  int r = 0;
  for (double x : s) r += x > s.front() * n * eps ? 1 : 0;
  return r;
}

dmat pseudo_inverse(const t_matrix& a) {
  dmat u;
  dmat vt;
  const std::vector<double> s = singular_values(a, &u, &vt);
  const int n = a.rows;
  const int r = numerical_rank(s, n);
  dmat x(static_cast<std::size_t>(n * n), 0.0);
  for (int k = 0; k < r; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        x[static_cast<std::size_t>(j * n + i)] += vt[static_cast<std::size_t>(i * n + k)] *
                                                  u[static_cast<std::size_t>(k * n + j)] /
                                                  s[static_cast<std::size_t>(k)];
  return x;
}

// ---------------------------------------------------------------- digests

struct digest {
  std::uint64_t h = 1469598103934665603ull;
  void add(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
      h ^= (v >> (8 * i)) & 0xffu;
      h *= 1099511628211ull;
    }
  }
  void add(float f) { add(static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(f))); }
  void add(std::int32_t i) { add(static_cast<std::uint64_t>(static_cast<std::uint32_t>(i))); }
  void add(const t_matrix& m) {
    add(m.rows);
    add(m.cols);
    add(static_cast<std::int32_t>(m.allocated));
    for (float f : m.elements) add(f);
  }
  void add(const t_vector& v) {
    add(v.size);
    add(static_cast<std::int32_t>(v.allocated));
    for (float f : v.elements) add(f);
  }
};

// The remembered sizes of m_init / v_init and bounds of m_extract / v_extract,
// read back without changing them before they are read.
void add_remembered_state(digest& d) {
  t_matrix m;
  orvik::m_init(m);
  d.add(m.rows);
  d.add(m.cols);
  t_vector v;
  orvik::v_init(v);
  d.add(v.size);
  // Entry (i, j) of the probe is i + 1000 j, so the block's shape and first
  // entry give its four bounds.
  static const t_matrix probe = make_matrix(80, [](auto i, auto j) { return i + 1000.0 * j; });
  try {
    const t_matrix block = orvik::m_extract(probe);
    d.add(block.rows);
    d.add(block.cols);
    d.add(block.elements.front());
  } catch (const orvik::error& e) {
    d.add(-e.exception().number);
  }
  static const t_vector probe_v = [] {
    t_vector p = orvik::v_zeros(80);
    for (std::size_t i = 0; i < p.elements.size(); ++i) p.elements[i] = static_cast<float>(i + 1);
    return p;
  }();
  try {
    const t_vector part = orvik::v_extract(probe_v);
    d.add(part.size);
    d.add(part.elements.front());
  } catch (const orvik::error& e) {
    d.add(-e.exception().number);
  }
}

// ---------------------------------------------------------------- routines

// One call: the accuracy measure of its result, or nothing when the result is
// not measured; the digest receives every bit of the result.
using routine_fn = std::function<std::optional<double>(const t_matrix&, digest&)>;

struct routine {
  std::string name;
  routine_fn run;
  std::int32_t quick_max_n;  // the largest size of the default run
  std::int32_t full_max_n = 32;
};

// Distance from each estimate to the nearest exact eigenvalue, worst over the
// estimates, relative to ||A||_2.
double eigen_error(const std::vector<float>& estimates, const t_matrix& a) {
  const auto exact = eigenvalues(a);
  const double scale = singular_values(a).front();
  double worst = 0.0;
  for (float e : estimates) {
    double nearest = INFINITY;
    for (const auto& x : exact) nearest = std::min(nearest, std::abs(x - std::complex<double>(e, 0.0)));
    worst = std::max(worst, nearest);
  }
  return worst / std::max(scale, 1e-300);
}

std::optional<double> svd_measure(const t_matrix& a, const orvik::t_svd& f) {
  const std::int32_t n = a.cols;
  const dmat u = to_double(f.U);
  const dmat s = to_double(f.S);
  const dmat v = to_double(f.V);
  const dmat us = product(u, s, f.U.rows, f.U.cols, f.S.cols);
  const dmat usv = product(us, v, f.U.rows, f.S.cols, f.V.rows, false, true);
  const double residual = ratio(fro_diff(usv, to_double(a)), fro(to_double(a)), n);
  return std::max({residual, orthogonality(f.U), orthogonality(f.V)});
}

double values_error(std::vector<float> values, const t_matrix& a) {
  const auto exact = singular_values(a);
  std::sort(values.begin(), values.end(), std::greater<>());
  double worst = 0.0;
  for (std::size_t i = 0; i < exact.size(); ++i) worst = std::max(worst, std::fabs(values[i] - exact[i]));
  return ratio(worst, exact.front(), a.rows);
}

// "gs" stands for the omitted method text (plain Gram-Schmidt). The view is
// of the caller's string, which outlives the call.
std::optional<std::string_view> qr_method_of(const std::string& name) {
  if (name == "gs") return std::nullopt;
  return name;
}

std::vector<routine> routines() {
  std::vector<routine> out;
  out.push_back({"pow_eig",
                 [](const t_matrix& a, digest& d) -> std::optional<double> {
                   orvik::t_poweig e = orvik::m_pow_eig(a);
                   d.add(e.eigval);
                   d.add(e.eigvec);
                   d.add(e.errors);
                   d.add(e.nb_iter);
                   const auto exact = eigenvalues(a);
                   const auto dominant = *std::max_element(exact.begin(), exact.end(),
                                                           [](auto x, auto y) { return std::abs(x) < std::abs(y); });
                   return std::abs(std::complex<double>(e.eigval, 0.0) - dominant) / std::abs(dominant);
                 },
                 16});
  out.push_back({"norm2",
                 [](const t_matrix& a, digest& d) -> std::optional<double> {
                   const float v = orvik::m_norm(a, 2);
                   d.add(v);
                   return relative(v, singular_values(a).front());
                 },
                 16});
  out.push_back({"cond",
                 [](const t_matrix& a, digest& d) -> std::optional<double> {
                   const float v = orvik::m_cond(a);
                   d.add(v);
                   const auto s = singular_values(a);
                   return relative(v, s.front() / s.back());
                 },
                 16});
  out.push_back({"eig_deflation",
                 [](const t_matrix& a, digest& d) -> std::optional<double> {
                   orvik::t_eig e = orvik::m_eig_deflation(a);
                   d.add(e.eigvals);
                   d.add(e.eigvecs);
                   return eigen_error(e.eigvals.elements, a);
                 },
                 16});
  for (const char* method : {"ho", "gsro", "gs"}) {
    const std::string m = method;
    out.push_back({"eig_qr:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     const t_vector e = orvik::m_eig_qr(a, 10 * a.rows, qr_method_of(m));
                     d.add(e);
                     return eigen_error(e.elements, a);
                   },
                   16});
  }
  for (const char* method : {"ho", "gsro", "gs"}) {
    const std::string m = method;
    // The explicit reflections cost O(n^4) a sweep, and a run that cannot
    // converge makes 100 n of them: the default run stays small there.
    const std::int32_t quick = m == "ho" ? 8 : 16;
    const std::int32_t most = m == "ho" ? 16 : 32;
    out.push_back({"svd:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     orvik::t_svd f = orvik::m_decompsvd(a, std::nullopt, std::nullopt, qr_method_of(m));
                     d.add(f.S);
                     d.add(f.V);
                     d.add(f.U);
                     return svd_measure(a, f);
                   },
                   quick, most});
    out.push_back({"svd_s:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     const t_vector s = orvik::m_decompsvd_s(a, std::nullopt, std::nullopt, qr_method_of(m));
                     d.add(s);
                     return values_error(s.elements, a);
                   },
                   quick, most});
    out.push_back({"qr:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     orvik::t_qr f = orvik::m_decompqr(a, qr_method_of(m));
                     d.add(f.Q);
                     d.add(f.R);
                     const dmat qr = product(to_double(f.Q), to_double(f.R), f.Q.rows, f.Q.cols, f.R.cols);
                     const double residual = ratio(fro_diff(qr, to_double(a)), fro(to_double(a)), a.rows);
                     // What is left below the diagonal of R counts as a residual too.
                     double below = 0.0;
                     for (std::int32_t j = 1; j <= f.R.cols; ++j)
                       for (std::int32_t i = j + 1; i <= f.R.rows; ++i)
                         below = std::hypot(below,
                                            double(f.R.elements[static_cast<std::size_t>((j - 1) * f.R.rows + i - 1)]));
                     return std::max({residual, ratio(below, fro(to_double(a)), a.rows), orthogonality(f.Q)});
                   },
                   16});
  }
  for (bool permute : {false, true}) {
    out.push_back({permute ? "lu:permute" : "lu",
                   [permute](const t_matrix& a, digest& d) -> std::optional<double> {
                     orvik::t_lu f = orvik::m_decomplu(a, permute);
                     d.add(f.L);
                     d.add(f.U);
                     d.add(f.P);
                     d.add(f.nb_permut);
                     const dmat lu = product(to_double(f.L), to_double(f.U), f.L.rows, f.L.cols, f.U.cols);
                     const dmat pa =
                         permute ? product(to_double(f.P), to_double(a), a.rows, a.rows, a.cols) : to_double(a);
                     return ratio(fro_diff(lu, pa), fro(pa), a.rows);
                   },
                   16});
  }
  out.push_back({"cholesky",
                 [](const t_matrix& a, digest& d) -> std::optional<double> {
                   orvik::t_m_and_p f = orvik::m_decompcholesky(a);
                   d.add(f.M);
                   const dmat l = to_double(f.M);
                   const dmat llt = product(l, l, a.rows, a.rows, a.rows, false, true);
                   return ratio(fro_diff(llt, to_double(a)), fro(to_double(a)), a.rows);
                 },
                 16});
  out.push_back({"inverse_gaussj",
                 [](const t_matrix& a, digest& d) -> std::optional<double> {
                   const t_matrix x = orvik::m_inverse_gaussj(a);
                   d.add(x);
                   dmat ax = product(to_double(a), to_double(x), a.rows, a.rows, a.rows);
                   for (std::int32_t i = 0; i < a.rows; ++i) ax[static_cast<std::size_t>(i * a.rows + i)] -= 1.0;
                   return ratio(fro(ax), fro(to_double(a)) * fro(to_double(x)), a.rows);
                 },
                 16});
  for (const char* method : {"lu", "chol", "gaussj"}) {
    const std::string m = method;
    out.push_back({"det:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     const float v = orvik::m_det(a, m, true);
                     d.add(v);
                     return relative(v, determinant(a));
                   },
                   16});
  }
  for (const char* method : {"svd:ho", "svd:gsro", "svd:gs", "gaussj"}) {
    const std::string m = method;
    out.push_back({"rank:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     const bool svd = m.rfind("svd", 0) == 0;
                     const std::string qr = svd ? m.substr(4) : "gs";
                     const std::int32_t r = orvik::m_rank(a, std::nullopt, svd ? "svd" : "gaussj", std::nullopt,
                                                          std::nullopt, qr_method_of(qr));
                     d.add(r);
                     // 1 for a rank other than the one at single-precision resolution.
                     return r == numerical_rank(singular_values(a), a.rows) ? 0.0 : 1.0;
                   },
                   m == "svd:ho" ? 8 : 16, m == "svd:ho" ? 16 : 32});
  }
  for (const char* method : {"chol", "svd:ho", "svd:gsro", "svd:gs"}) {
    const std::string m = method;
    out.push_back({"pinv:" + m,
                   [m](const t_matrix& a, digest& d) -> std::optional<double> {
                     const bool svd = m.rfind("svd", 0) == 0;
                     const std::string qr = svd ? m.substr(4) : "gs";
                     const t_matrix x = orvik::m_pinv(a, std::nullopt, std::nullopt, std::nullopt, qr_method_of(qr),
                                                      std::nullopt, svd ? "svd" : "chol");
                     d.add(x);
                     const dmat exact = pseudo_inverse(a);
                     return fro_diff(to_double(x), exact) / std::max(fro(exact), 1e-300);
                   },
                   m == "svd:ho" ? 8 : 16, m == "svd:ho" ? 16 : 32});
  }
  return out;
}

// ---------------------------------------------------------------- compare

int compare(const char* before_file, const char* after_file, std::FILE* out) {
  const auto read = [](const char* file) {
    std::map<std::string, std::pair<std::string, std::string>> lines;  // key -> (status, hash)
    std::ifstream in(file);
    std::string routine_name, family, n, sample, status, hash;
    while (in >> routine_name >> family >> n >> sample >> status >> hash)
      lines[routine_name + " " + family + " " + n + " " + sample] = {status, hash};
    return lines;
  };
  const auto before = read(before_file);
  const auto after = read(after_file);
  int same = 0;
  int changed = 0;
  int rescued = 0;
  int lost = 0;
  int still_stopped = 0;
  int missing = 0;
  std::map<std::string, int> rescued_by_routine;
  for (const auto& [key, b] : before) {
    const auto it = after.find(key);
    if (it == after.end()) {
      ++missing;
      continue;
    }
    const auto& a = it->second;
    if (b.first == "ok" && a.first == "ok") {
      if (b.second == a.second) {
        ++same;
      } else {
        ++changed;
        std::fprintf(out, "changed bits: %s\n", key.c_str());
      }
    } else if (b.first == "ok") {
      ++lost;
      std::fprintf(out, "now stops: %s (%s)\n", key.c_str(), a.first.c_str());
    } else if (a.first == "ok") {
      ++rescued;
      ++rescued_by_routine[key.substr(0, key.find(' '))];
    } else {
      ++still_stopped;
      if (a != b) std::fprintf(out, "stop changed: %s (%s -> %s)\n", key.c_str(), b.first.c_str(), a.first.c_str());
    }
  }
  std::fprintf(out, "calls compared %zu, missing %d\n", before.size(), missing);
  std::fprintf(out, "succeeded before, identical bits: %d\n", same);
  std::fprintf(out, "succeeded before, changed bits:   %d\n", changed);
  std::fprintf(out, "succeeded before, stop now:       %d\n", lost);
  std::fprintf(out, "stopped before, result now:       %d\n", rescued);
  for (const auto& [name, count] : rescued_by_routine) std::fprintf(out, "  %-20s %d\n", name.c_str(), count);
  std::fprintf(out, "stopped before and now:           %d\n", still_stopped);
  return changed == 0 && lost == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool full = false;
  bool by_size = false;
  bool verbose = false;
  std::string only;
  std::string digest_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--compare" && i + 2 < argc) return compare(argv[i + 1], argv[i + 2], stdout);
    if (arg == "--full")
      full = true;
    else if (arg == "--by-size")
      by_size = true;
    else if (arg == "--verbose")
      verbose = true;
    else if (arg.rfind("--only=", 0) == 0)
      only = arg.substr(7);
    else if (arg.rfind("--digest=", 0) == 0)
      digest_file = arg.substr(9);
    else {
      std::fprintf(stderr,
                   "usage: %s [--full] [--by-size] [--verbose] [--only=<text>] [--digest=<file>]\n"
                   "       %s --compare <before> <after>\n",
                   argv[0], argv[0]);
      return 2;
    }
  }
  // The deflation method prints its residuals.
  std::FILE* out = table_output();

  const std::vector<std::int32_t> sizes = full ? std::vector<std::int32_t>{2, 3, 4, 5, 6, 8, 10, 12, 16, 20, 24, 32}
                                               : std::vector<std::int32_t>{2, 3, 4, 8, 16};
  const std::int32_t samples = full ? 6 : 3;
  std::ofstream digest_out;
  if (!digest_file.empty()) digest_out.open(digest_file);

  const orvik::raising_scope raising;
  std::map<std::string, tally> table;
  std::vector<std::string> order;
  for (const routine& r : routines()) {
    if (!only.empty() && r.name.find(only) == std::string::npos) continue;
    for (const std::string& family : families) {
      for (std::int32_t n : sizes) {
        if (n > (full ? r.full_max_n : r.quick_max_n)) continue;
        std::string key = r.name + " / " + family;
        if (by_size) key += " / " + std::to_string(n);
        if (!table.count(key)) order.push_back(key);
        tally& t = table[key];
        // Hilbert matrices have no random part: one sample per size.
        for (std::int32_t sample = 0; sample < (family == "hilbert" ? 1 : samples); ++sample) {
          const t_matrix a = input(family, n, sample);
          digest d;
          std::string status = "ok";
          ++t.calls;
          try {
            const std::optional<double> measure = r.run(a, d);
            if (measure) t.measures.push_back(*measure);
            if (verbose)
              std::fprintf(out, "%s %s %d %d: %g\n", r.name.c_str(), family.c_str(), n, sample, measure.value_or(-1));
          } catch (const orvik::error& e) {
            ++t.stops[e.exception().number];
            status = std::to_string(e.exception().number);
            if (verbose)
              std::fprintf(out, "%s %s %d %d: stop %s\n", r.name.c_str(), family.c_str(), n, sample, status.c_str());
            d = digest{};
          }
          add_remembered_state(d);
          if (digest_out.is_open()) {
            char hash[20];
            std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(d.h));
            digest_out << r.name << ' ' << family << ' ' << n << ' ' << sample << ' ' << status << ' ' << hash << '\n';
          }
        }
      }
    }
  }
  std::vector<std::pair<std::string, tally>> rows;
  for (const std::string& key : order) rows.emplace_back(key, table[key]);
  print_table(out, rows);
  std::fclose(out);
  return 0;
}
