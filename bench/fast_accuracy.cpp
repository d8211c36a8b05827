// Accuracy of the fast decompositions (m_svd, m_svd_values, m_eig_sym,
// m_eig_gen) against double-precision LAPACK, beside single-precision
// LAPACK on the same float input; then the stops of the spectral norm, the
// condition number and the SVD front ends on the same families.
//
//   orvik_fast_accuracy [--full] [--only=svd|eig_sym|eig_gen|stops] [--realdata=<folder>]
//                       [--values=<family>:<m>:<n>:<draw>]
//
// Every call runs in the raising mode, so a stop is counted, not fatal.
// The default run (about three minutes) takes n = 32 ... 512 (m_eig_gen up
// to 256) and the stops survey at n = 8 ... 64, five draws each: the
// Householder method up to 32, m_rank and m_pinv (which pass the matrix on
// to m_decompsvd_s and m_decompsvd) up to 32 (Householder 16), the real
// matrices up to order 120 (Householder 16). --full takes more draws,
// m_eig_gen at 512, every front end up to 64 (Householder 32) and the real
// matrices up to 220 (Householder 51). --values=<family>:<m>:<n>:<draw>
// lists one input's singular values one by one. The real matrices come from
// the folder given, or ORVIK_REALDATA, or the project's default place beside
// the source tree; where it is absent they are skipped with the reason
// printed.
//
// Ratios are in units of eps = 2^-24: a residual or an orthogonality above
// 30 fails LAPACK's own test threshold.

#include "accuracy_support.hpp"
#include "native_peer.hpp"
#include "support/real_data.hpp"

#include <orvik/orvik.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

extern "C" {
void sgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, float* a, const int* lda, float* s,
             float* u, const int* ldu, float* vt, const int* ldvt, float* work, const int* lwork, int* info,
             std::size_t, std::size_t);
void dgesvj_(const char* joba, const char* jobu, const char* jobv, const int* m, const int* n, double* a,
             const int* lda, double* sva, const int* mv, double* v, const int* ldv, double* work, const int* lwork,
             int* info, std::size_t, std::size_t, std::size_t);
void ssyev_(const char* jobz, const char* uplo, const int* n, float* a, const int* lda, float* w, float* work,
            const int* lwork, int* info, std::size_t, std::size_t);
void sgeev_(const char* jobvl, const char* jobvr, const int* n, float* a, const int* lda, float* wr, float* wi,
            float* vl, const int* ldvl, float* vr, const int* ldvr, float* work, const int* lwork, int* info,
            std::size_t, std::size_t);
}

namespace {

using namespace orvik_accuracy;  // NOLINT(google-build-using-namespace): the shared oracles and measures

std::FILE* out = stdout;

// Every input each fast decomposition met in the tables, and its stops.
std::map<std::string, tally> fast_calls;

// ---------------------------------------------------------------- inputs

std::mt19937 generator(const std::string& family, std::int32_t m, std::int32_t n, std::int32_t draw) {
  std::seed_seq seed{static_cast<int>(std::hash<std::string>{}(family)&0xffff), m, n, draw};
  return std::mt19937(seed);
}

dmat uniform(std::mt19937& gen, std::int32_t m, std::int32_t n, double low, double high) {
  std::uniform_real_distribution<double> dist(low, high);
  dmat r(static_cast<std::size_t>(m) * n);
  for (double& x : r) x = dist(gen);
  return r;
}

// n orthonormal columns of order m, from Gram-Schmidt done twice in double.
dmat orthonormal(std::mt19937& gen, std::int32_t m, std::int32_t n) {
  std::normal_distribution<double> dist;
  dmat q(static_cast<std::size_t>(m) * n);
  for (double& x : q) x = dist(gen);
  for (std::int32_t j = 0; j < n; ++j) {
    double* c = &q[static_cast<std::size_t>(j) * m];
    for (int pass = 0; pass < 2; ++pass)
      for (std::int32_t k = 0; k < j; ++k) {
        const double* p = &q[static_cast<std::size_t>(k) * m];
        double d = 0.0;
        for (std::int32_t i = 0; i < m; ++i) d += p[i] * c[i];
        for (std::int32_t i = 0; i < m; ++i) c[i] -= d * p[i];
      }
    double s = 0.0;
    for (std::int32_t i = 0; i < m; ++i) s += c[i] * c[i];
    s = std::sqrt(s);
    for (std::int32_t i = 0; i < m; ++i) c[i] /= s;
  }
  return q;
}

// The values of a clustered spectrum: four values, each repeated.
double clustered_value(std::int32_t i, std::int32_t k, bool signed_values) {
  static const double plus[4] = {1.0, 0.5, 0.25, 1e-3};
  static const double with_sign[4] = {1.0, 0.5, -1e-3, -1.0};
  const std::int32_t group = std::min(3, 4 * i / std::max(k, 1));
  return signed_values ? with_sign[group] : plus[group];
}

t_matrix to_float(const dmat& a, std::int32_t m, std::int32_t n) {
  t_matrix f = orvik::m_zeros(m, n);
  for (std::size_t k = 0; k < a.size(); ++k) f.elements[k] = static_cast<float>(a[k]);
  return f;
}

double grade(std::int32_t j, std::int32_t n) { return std::pow(1e-12, double(j) / std::max(n - 1, 1)); }

// The companion matrix of z^n - (1 + b) z^h + b, h = n / 2, b = 2^-k: its
// roots are the h-th roots of unity and of b, complex but for four, all
// known; the coefficients are exact in float.
dmat companion(std::int32_t n) {
  const std::int32_t h = n / 2;
  const double b = std::ldexp(1.0, -std::clamp(h / 8, 1, 20));
  dmat c(static_cast<std::size_t>(n) * n, 0.0);
  for (std::int32_t i = 1; i < n; ++i) c[static_cast<std::size_t>(i - 1) * n + i] = 1.0;
  // First row: -c_{n-1} ... -c_0 for the monic z^n + c_{n-1} z^{n-1} + ... + c_0.
  c[static_cast<std::size_t>(n - 1 - h) * n] = 1.0 + b;
  c[static_cast<std::size_t>(n - 1) * n] = -b;
  return c;
}

// One matrix of a family, m x n (square families take m = n), rounded to
// float once. `kind` tells the symmetric families how to grade and cluster:
// 's' symmetric (D B D, Q L Q^T), 'g' general (B D, Q L Q^T), 'v' singular
// values (B D, Q1 S Q2^T).
t_matrix family_input(const std::string& family, std::int32_t m, std::int32_t n, std::int32_t draw, char kind) {
  std::mt19937 gen = generator(family, m, n, draw);
  const auto at = [m](dmat& a, std::int32_t i, std::int32_t j) -> double& {
    return a[static_cast<std::size_t>(j) * m + i];
  };
  if (family == "uniform" || family == "positive") {
    dmat a = uniform(gen, m, n, family == "uniform" ? -1.0 : 0.0, 1.0);
    if (kind == 's')
      for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < j; ++i) at(a, i, j) = at(a, j, i);
    return to_float(a, m, n);
  }
  if (family == "symmetric") {
    dmat a = uniform(gen, n, n, -1.0, 1.0);
    for (std::int32_t j = 0; j < n; ++j)
      for (std::int32_t i = 0; i < j; ++i) at(a, i, j) = at(a, j, i);
    return to_float(a, n, n);
  }
  if (family == "spd") {
    const dmat b = uniform(gen, n, n, -1.0, 1.0);
    dmat a = product(b, b, n, n, n, true, false);
    for (double& x : a) x /= n;
    for (std::int32_t i = 0; i < n; ++i) at(a, i, i) += 0.1;
    return to_float(a, n, n);
  }
  if (family == "graded") {
    dmat a = uniform(gen, m, n, -1.0, 1.0);
    if (kind == 's')
      for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < j; ++i) at(a, i, j) = at(a, j, i);
    for (std::int32_t j = 0; j < n; ++j)
      for (std::int32_t i = 0; i < m; ++i) at(a, i, j) *= grade(j, n) * (kind == 's' ? grade(i, n) : 1.0);
    return to_float(a, m, n);
  }
  if (family == "clustered") {
    const std::int32_t k = std::min(m, n);
    const dmat q1 = orthonormal(gen, m, k);
    const dmat q2 = kind == 'v' ? orthonormal(gen, n, k) : q1;
    dmat qs = q1;
    for (std::int32_t j = 0; j < k; ++j)
      for (std::int32_t i = 0; i < m; ++i) at(qs, i, j) *= clustered_value(j, k, kind != 'v');
    return to_float(product(qs, q2, m, k, n, false, true), m, n);
  }
  return to_float(companion(n), n, n);
}

struct real_input {
  std::string name;
  t_matrix a;
};

std::vector<real_input> real_inputs(const std::optional<std::filesystem::path>& folder) {
  std::vector<real_input> list;
  if (!folder) return list;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(*folder / "matrices"))
    if (entry.path().extension() == ".mtx") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& file : files)
    list.push_back({file.stem().string(), orvik::test::read_matrix_market(file).to_float()});
  return list;
}

bool is_symmetric(const t_matrix& a) {
  if (a.rows != a.cols) return false;
  for (std::int32_t j = 0; j < a.cols; ++j)
    for (std::int32_t i = 0; i < j; ++i)
      if (a.elements[static_cast<std::size_t>(j) * a.rows + i] != a.elements[static_cast<std::size_t>(i) * a.rows + j])
        return false;
  return true;
}

// ---------------------------------------------------------------- oracles and peers

double norm_f(const t_matrix& a) { return fro(to_double(a)); }

// Singular values by one-sided Jacobi in double (dgesvj), largest first:
// relatively accurate on graded matrices, where dgesvd's small values are
// only accurate to eps_double * s_1.
std::vector<double> jacobi_values(const t_matrix& a) {
  const bool wide = a.rows < a.cols;
  int m = wide ? a.cols : a.rows;
  int n = wide ? a.rows : a.cols;
  dmat w(static_cast<std::size_t>(m) * n);
  for (int j = 0; j < a.cols; ++j)
    for (int i = 0; i < a.rows; ++i) {
      const double x = a.elements[static_cast<std::size_t>(j) * a.rows + i];
      if (wide)
        w[static_cast<std::size_t>(i) * m + j] = x;
      else
        w[static_cast<std::size_t>(j) * m + i] = x;
    }
  std::vector<double> s(static_cast<std::size_t>(n));
  int lwork = std::max(6, m + n);
  dmat work(static_cast<std::size_t>(lwork));
  const int one = 1;
  double dummy = 0.0;
  int info = 0;
  dgesvj_("G", "N", "N", &m, &n, w.data(), &m, s.data(), &one, &dummy, &one, work.data(), &lwork, &info, 1, 1, 1);
  for (double& x : s) x *= work[0];
  std::sort(s.begin(), s.end(), std::greater<>());
  return s;
}

struct float_svd {
  std::vector<float> s, u, vt;
};

float_svd sgesvd_thin(const t_matrix& a) {
  int m = a.rows;
  int n = a.cols;
  const int k = std::min(m, n);
  float_svd r;
  std::vector<float> w(a.elements);
  r.s.resize(static_cast<std::size_t>(k));
  r.u.resize(static_cast<std::size_t>(m) * k);
  r.vt.resize(static_cast<std::size_t>(k) * n);
  int lwork = -1;
  int info = 0;
  float query = 0.0f;
  sgesvd_("S", "S", &m, &n, w.data(), &m, r.s.data(), r.u.data(), &m, r.vt.data(), &k, &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query);
  std::vector<float> work(static_cast<std::size_t>(lwork));
  sgesvd_("S", "S", &m, &n, w.data(), &m, r.s.data(), r.u.data(), &m, r.vt.data(), &k, work.data(), &lwork, &info, 1,
          1);
  return r;
}

// ssyev with vectors: the values ascending, the vectors over a.
std::vector<float> ssyev_vectors(const t_matrix& a, std::vector<float>& v) {
  const int n = a.rows;
  v = a.elements;
  std::vector<float> e(static_cast<std::size_t>(n));
  const int lwork = 64 * n + 64;
  std::vector<float> work(static_cast<std::size_t>(lwork));
  int info = 0;
  ssyev_("V", "L", &n, v.data(), &n, e.data(), work.data(), &lwork, &info, 1, 1);
  return e;
}

struct float_eig_gen {
  std::vector<float> re, im, vr;
};

float_eig_gen sgeev_right(const t_matrix& a) {
  const int n = a.rows;
  float_eig_gen r;
  std::vector<float> w(a.elements);
  r.re.resize(static_cast<std::size_t>(n));
  r.im.resize(static_cast<std::size_t>(n));
  r.vr.resize(static_cast<std::size_t>(n) * n);
  const int lwork = 66 * n + 64;
  std::vector<float> work(static_cast<std::size_t>(lwork));
  const int one = 1;
  float dummy = 0.0f;
  int info = 0;
  sgeev_("N", "V", &n, w.data(), &n, r.re.data(), r.im.data(), &dummy, &one, r.vr.data(), &n, work.data(), &lwork,
         &info, 1, 1);
  return r;
}

// ---------------------------------------------------------------- measures

// ||A - U S V^T||_F / (||A||_F max(m, n) eps) with S's diagonal s.
double svd_residual(const t_matrix& a, const dmat& u, const std::vector<double>& s, const dmat& v, bool v_transposed) {
  const std::int32_t m = a.rows;
  const std::int32_t n = a.cols;
  const auto k = static_cast<std::int32_t>(s.size());
  dmat us = u;
  for (std::int32_t j = 0; j < k; ++j)
    for (std::int32_t i = 0; i < m; ++i) us[static_cast<std::size_t>(j) * m + i] *= s[static_cast<std::size_t>(j)];
  const dmat usv = product(us, v, m, k, n, false, !v_transposed);
  return ratio(fro_diff(usv, to_double(a)), norm_f(a), std::max(m, n));
}

// ||A V - V L||_F / (||A||_F n eps), V n x n, L the values.
template <class T>
double eig_residual(const t_matrix& a, const std::vector<T>& v, const std::vector<T>& values) {
  const std::int32_t n = a.rows;
  const dmat vd(v.begin(), v.end());
  dmat av = product(to_double(a), vd, n, n, n);
  for (std::int32_t j = 0; j < n; ++j)
    for (std::int32_t i = 0; i < n; ++i)
      av[static_cast<std::size_t>(j) * n + i] -=
          double(values[static_cast<std::size_t>(j)]) * vd[static_cast<std::size_t>(j) * n + i];
  return ratio(fro(av), norm_f(a), n);
}

// ||Q^T Q - I||_F / (columns eps) for Q stored as floats.
double orthogonality_of(const std::vector<float>& q, std::int32_t rows, std::int32_t cols) {
  t_matrix m = orvik::m_zeros(rows, cols);
  m.elements = q;
  return orthogonality(m, cols);
}

// Singular values against the reference r (largest first): normwise
// max |s - r| / r_1 and the largest |s - r| / r over the values above
// floor * r_1, both in eps.
struct value_errors {
  double normwise = 0.0;
  double relative = 0.0;
};

template <class T>
value_errors svd_value_errors(std::vector<T> s, const std::vector<double>& r, double floor) {
  std::sort(s.begin(), s.end(), std::greater<>());
  value_errors e;
  if (r.empty() || r[0] == 0.0) return e;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const double d = std::fabs(double(s[i]) - r[i]);
    e.normwise = std::max(e.normwise, d / (r[0] * eps));
    if (r[i] > floor * r[0]) e.relative = std::max(e.relative, d / (r[i] * eps));
  }
  return e;
}

// Eigenvalues matched greedily to the reference: each reference value, the
// largest in magnitude first, takes the nearest value not taken yet. The
// worst distance in units of ||A||_F eps.
double matched_error(const std::vector<std::complex<double>>& values, std::vector<std::complex<double>> reference,
                     double scale) {
  std::sort(reference.begin(), reference.end(), [](auto x, auto y) { return std::abs(x) > std::abs(y); });
  std::vector<bool> taken(values.size(), false);
  double worst = 0.0;
  for (const auto& r : reference) {
    std::size_t best = values.size();
    double distance = INFINITY;
    for (std::size_t i = 0; i < values.size(); ++i)
      if (!taken[i] && std::abs(values[i] - r) < distance) {
        distance = std::abs(values[i] - r);
        best = i;
      }
    if (best == values.size()) return INFINITY;
    taken[best] = true;
    worst = std::max(worst, distance);
  }
  return worst / (std::max(scale, 1e-300) * eps);
}

// ||A x - lambda x|| / (||A||_F n eps ||x||) of every right eigenvector in
// LAPACK's real storage (a complex pair's two columns give one vector and
// its conjugate, both with the same residual).
std::vector<double> vector_residuals(const t_matrix& a, const std::vector<float>& re, const std::vector<float>& im,
                                     const std::vector<float>& vr) {
  const std::int32_t n = a.rows;
  const dmat x(vr.begin(), vr.end());
  const dmat ax = product(to_double(a), x, n, n, n);
  const double scale = norm_f(a);
  std::vector<double> out;
  const auto col = [n](const dmat& d, std::int32_t j, std::int32_t i) {
    return d[static_cast<std::size_t>(j) * n + i];
  };
  for (std::int32_t j = 0; j < n; ++j) {
    const double lr = re[static_cast<std::size_t>(j)];
    const double li = im[static_cast<std::size_t>(j)];
    double r2 = 0.0;
    double x2 = 0.0;
    if (li == 0.0) {
      for (std::int32_t i = 0; i < n; ++i) {
        const double d = col(ax, j, i) - lr * col(x, j, i);
        r2 += d * d;
        x2 += col(x, j, i) * col(x, j, i);
      }
    } else {
      // The pair's first column: x = xr + i xi with lambda = lr + i li.
      const std::int32_t first = li > 0.0 ? j : j - 1;
      const double sign = li > 0.0 ? 1.0 : -1.0;
      for (std::int32_t i = 0; i < n; ++i) {
        const double xr = col(x, first, i);
        const double xi = sign * col(x, first + 1, i);
        const double dr = col(ax, first, i) - (lr * xr - li * xi);
        const double di = sign * col(ax, first + 1, i) - (lr * xi + li * xr);
        r2 += dr * dr + di * di;
        x2 += xr * xr + xi * xi;
      }
    }
    out.push_back(ratio(std::sqrt(r2), scale * std::sqrt(x2), n));
  }
  return out;
}

// ---------------------------------------------------------------- rows

bool same_bits(const std::vector<float>& x, const std::vector<float>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
}

double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double worst(const std::vector<double>& v) { return v.empty() ? NAN : *std::max_element(v.begin(), v.end()); }

// "-" for a measure not taken.
std::string cell(double x, const char* format = "%.3g") {
  if (std::isnan(x)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, x);
  return text;
}

// A stop of the raising mode, or a result.
template <class F>
std::optional<std::int32_t> stop_of(F&& call) {
  try {
    call();
    return std::nullopt;
  } catch (const orvik::error& e) {
    return e.exception().number;
  }
}

std::string stops_cell(const std::map<std::int32_t, int>& stops) {
  if (stops.empty()) return "0";
  std::string text;
  for (const auto& [number, count] : stops) {
    char part[32];
    std::snprintf(part, sizeof part, "%s%dx%d", text.empty() ? "" : " ", count, number);
    text += part;
  }
  return text;
}

// ---------------------------------------------------------------- m_svd

struct svd_row {
  int draws = 0;
  std::map<std::int32_t, int> stops;
  int value_bits_differ = 0;
  std::vector<double> residual, orth_u, orth_v, peer_residual;
  std::vector<double> norm_ours, norm_peer, rel_ours, rel_peer, small_ours, small_peer;
};

void svd_sample(svd_row& row, const t_matrix& a, bool graded) {
  ++row.draws;
  orvik::t_svd f;
  t_vector values;
  const auto stop = stop_of([&] {
    f = orvik::m_svd(a);
    values = orvik::m_svd_values(a);
  });
  ++fast_calls["m_svd, m_svd_values"].calls;
  if (stop) {
    ++row.stops[*stop];
    ++fast_calls["m_svd, m_svd_values"].stops[*stop];
    return;
  }
  const std::int32_t k = std::min(a.rows, a.cols);
  std::vector<double> s(static_cast<std::size_t>(k));
  std::vector<float> sf(static_cast<std::size_t>(k));
  for (std::int32_t i = 0; i < k; ++i) {
    sf[static_cast<std::size_t>(i)] = f.S.elements[static_cast<std::size_t>(i) * k + i];
    s[static_cast<std::size_t>(i)] = sf[static_cast<std::size_t>(i)];
  }
  if (!same_bits(values.elements, sf)) ++row.value_bits_differ;
  row.residual.push_back(svd_residual(a, to_double(f.U), s, to_double(f.V), false));
  row.orth_u.push_back(orthogonality(f.U, k));
  row.orth_v.push_back(orthogonality(f.V, k));
  const float_svd peer = sgesvd_thin(a);
  row.peer_residual.push_back(svd_residual(a, dmat(peer.u.begin(), peer.u.end()),
                                           std::vector<double>(peer.s.begin(), peer.s.end()),
                                           dmat(peer.vt.begin(), peer.vt.end()), true));
  const std::vector<double> ref = singular_values(a);
  const value_errors ours = svd_value_errors(sf, ref, 1e-6);
  const value_errors theirs = svd_value_errors(peer.s, ref, 1e-6);
  row.norm_ours.push_back(ours.normwise);
  row.norm_peer.push_back(theirs.normwise);
  row.rel_ours.push_back(ours.relative);
  row.rel_peer.push_back(theirs.relative);
  if (graded) {
    const std::vector<double> jacobi = jacobi_values(a);
    row.small_ours.push_back(svd_value_errors(sf, jacobi, 0.0).relative);
    row.small_peer.push_back(svd_value_errors(peer.s, jacobi, 0.0).relative);
  }
}

void svd_header() {
  std::fprintf(out,
               "\n## m_svd (thin) and m_svd_values\n\n"
               "resid = ||A - U S V^T||_F / (||A||_F max(m,n) eps); U'U, V'V = ||Q^T Q - I||_F / (n eps); median / "
               "worst.\n"
               "values: max|s - r| / (r_1 eps) against dgesvd, orvik / sgesvd(S,S), worst; rel: max |s - r| / (r "
               "eps) over s > 1e-6 r_1.\n"
               "graded all: max |s - r| / (r eps) over every value, against dgesvj (one-sided Jacobi in double).\n"
               "bits: draws where m_svd_values differs in bits from diag(S). stops: by error number.\n\n");
  std::fprintf(out,
               "| input | shape | draws | stops | resid med / worst | sgesvd resid worst | U'U med / worst | V'V med / "
               "worst | values orvik / sgesvd | rel orvik / sgesvd | graded all orvik / sgesvd | bits |\n");
  std::fprintf(out, "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
}

void svd_print(const std::string& name, std::int32_t m, std::int32_t n, const svd_row& r) {
  std::fprintf(out, "| %s | %dx%d | %d | %s | %s / %s | %s | %s / %s | %s / %s | %s / %s | %s / %s | %s / %s | %d |\n",
               name.c_str(), m, n, r.draws, stops_cell(r.stops).c_str(), cell(median(r.residual)).c_str(),
               cell(worst(r.residual)).c_str(), cell(worst(r.peer_residual)).c_str(), cell(median(r.orth_u)).c_str(),
               cell(worst(r.orth_u)).c_str(), cell(median(r.orth_v)).c_str(), cell(worst(r.orth_v)).c_str(),
               cell(worst(r.norm_ours)).c_str(), cell(worst(r.norm_peer)).c_str(), cell(worst(r.rel_ours)).c_str(),
               cell(worst(r.rel_peer)).c_str(), cell(worst(r.small_ours)).c_str(), cell(worst(r.small_peer)).c_str(),
               r.value_bits_differ);
  std::fflush(out);
}

// ---------------------------------------------------------------- m_eig_sym

struct sym_row {
  int draws = 0;
  std::map<std::int32_t, int> stops;
  int value_bits_differ = 0;
  std::vector<double> residual, orth, err_ours, err_peer, peer_residual, peer_orth;
};

void sym_sample(sym_row& row, const t_matrix& a) {
  ++row.draws;
  orvik::t_eig e;
  orvik::t_eig values_only;
  const auto stop = stop_of([&] {
    e = orvik::m_eig_sym(a);
    values_only = orvik::m_eig_sym(a, false);
  });
  ++fast_calls["m_eig_sym"].calls;
  if (stop) {
    ++row.stops[*stop];
    ++fast_calls["m_eig_sym"].stops[*stop];
    return;
  }
  const std::int32_t n = a.rows;
  if (!same_bits(values_only.eigvals.elements, e.eigvals.elements)) ++row.value_bits_differ;
  row.residual.push_back(eig_residual(a, e.eigvecs.elements, e.eigvals.elements));
  row.orth.push_back(orthogonality(e.eigvecs, n));
  std::vector<float> pv;
  const std::vector<float> pw = ssyev_vectors(a, pv);
  row.peer_residual.push_back(eig_residual(a, pv, pw));
  row.peer_orth.push_back(orthogonality_of(pv, n, n));
  const std::vector<double> ref = symmetric_eigenvalues(a);
  double scale = 0.0;
  for (double x : ref) scale = std::max(scale, std::fabs(x));
  const auto error = [&](std::vector<float> w) {
    std::sort(w.begin(), w.end());
    double d = 0.0;
    for (std::size_t i = 0; i < w.size(); ++i) d = std::max(d, std::fabs(w[i] - ref[i]));
    return d == 0.0 ? 0.0 : d / (std::max(scale, 1e-300) * eps);
  };
  row.err_ours.push_back(error(e.eigvals.elements));
  row.err_peer.push_back(error(pw));
}

void sym_header() {
  std::fprintf(out,
               "\n## m_eig_sym\n\n"
               "resid = ||A V - V L||_F / (||A||_F n eps); V'V = ||V^T V - I||_F / (n eps); median / worst, ssyev's "
               "worst beside.\n"
               "values: max |l - r| / (max|r| eps) against dsyev, orvik / ssyev('V'), worst. bits: draws where the "
               "values-only call differs in bits.\n"
               "Families made symmetric: uniform, positive (mirrored lower triangle), spd (B^T B / n + 0.1 I), graded "
               "(D B D, B symmetric), clustered (Q L Q^T, four values repeated).\n\n");
  std::fprintf(
      out,
      "| input | n | draws | stops | resid med / worst | ssyev resid worst | V'V med / worst | ssyev V'V worst | "
      "values orvik / ssyev | bits |\n");
  std::fprintf(out, "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
}

void sym_print(const std::string& name, std::int32_t n, const sym_row& r) {
  std::fprintf(out, "| %s | %d | %d | %s | %s / %s | %s | %s / %s | %s | %s / %s | %d |\n", name.c_str(), n, r.draws,
               stops_cell(r.stops).c_str(), cell(median(r.residual)).c_str(), cell(worst(r.residual)).c_str(),
               cell(worst(r.peer_residual)).c_str(), cell(median(r.orth)).c_str(), cell(worst(r.orth)).c_str(),
               cell(worst(r.peer_orth)).c_str(), cell(worst(r.err_ours)).c_str(), cell(worst(r.err_peer)).c_str(),
               r.value_bits_differ);
  std::fflush(out);
}

// ---------------------------------------------------------------- m_eig_gen

struct gen_row {
  int draws = 0;
  std::map<std::int32_t, int> stops;
  int value_bits_differ = 0;
  std::vector<double> err_ours, err_peer, residual, peer_residual;
};

void gen_sample(gen_row& row, const t_matrix& a) {
  ++row.draws;
  orvik::t_eig_gen e;
  orvik::t_eig_gen values_only;
  const auto stop = stop_of([&] {
    e = orvik::m_eig_gen(a, true);
    values_only = orvik::m_eig_gen(a);
  });
  ++fast_calls["m_eig_gen"].calls;
  if (stop) {
    ++row.stops[*stop];
    ++fast_calls["m_eig_gen"].stops[*stop];
    return;
  }
  if (!same_bits(values_only.re.elements, e.re.elements) || !same_bits(values_only.im.elements, e.im.elements))
    ++row.value_bits_differ;
  const auto reference = eigenvalues(a);
  const double scale = norm_f(a);
  const auto as_complex = [](const std::vector<float>& re, const std::vector<float>& im) {
    std::vector<std::complex<double>> z;
    for (std::size_t i = 0; i < re.size(); ++i) z.emplace_back(re[i], im[i]);
    return z;
  };
  row.err_ours.push_back(matched_error(as_complex(e.re.elements, e.im.elements), reference, scale));
  const std::vector<double> res = vector_residuals(a, e.re.elements, e.im.elements, e.vectors.elements);
  row.residual.insert(row.residual.end(), res.begin(), res.end());
  const float_eig_gen peer = sgeev_right(a);
  row.err_peer.push_back(matched_error(as_complex(peer.re, peer.im), reference, scale));
  const std::vector<double> pres = vector_residuals(a, peer.re, peer.im, peer.vr);
  row.peer_residual.insert(row.peer_residual.end(), pres.begin(), pres.end());
}

void gen_header() {
  std::fprintf(out,
               "\n## m_eig_gen (values and right vectors)\n\n"
               "values: eigenvalues matched greedily to dgeev's, max |l - r| / (||A||_F eps), orvik / sgeev, median "
               "and worst.\n"
               "vector resid: ||A x - l x|| / (||A||_F n eps ||x||) over every vector (complex pairs from LAPACK's "
               "real storage), median / worst, sgeev's worst beside.\n"
               "bits: draws where the values-only call differs in bits. companion: z^n - (1 + b) z^(n/2) + b, b = "
               "2^-min(20, max(1, n/16)).\n\n");
  std::fprintf(out,
               "| input | n | draws | stops | values orvik med / worst | values sgeev med / worst | vector resid med / "
               "worst | sgeev resid worst | bits |\n");
  std::fprintf(out, "|---|--:|--:|--:|--:|--:|--:|--:|--:|\n");
}

void gen_print(const std::string& name, std::int32_t n, const gen_row& r) {
  std::fprintf(out, "| %s | %d | %d | %s | %s / %s | %s / %s | %s / %s | %s | %d |\n", name.c_str(), n, r.draws,
               stops_cell(r.stops).c_str(), cell(median(r.err_ours)).c_str(), cell(worst(r.err_ours)).c_str(),
               cell(median(r.err_peer)).c_str(), cell(worst(r.err_peer)).c_str(), cell(median(r.residual)).c_str(),
               cell(worst(r.residual)).c_str(), cell(worst(r.peer_residual)).c_str(), r.value_bits_differ);
  std::fflush(out);
}

// ---------------------------------------------------------------- stops

struct front_end {
  std::string name;
  std::function<void(const t_matrix&)> call;
  std::int32_t max_n;  // the largest order surveyed
};

// "gs" stands for the omitted method text (plain Gram-Schmidt).
std::optional<std::string_view> qr_method_of(const std::string& name) {
  if (name == "gs") return std::nullopt;
  return name;
}

std::vector<front_end> front_ends(std::int32_t ho_max, std::int32_t ho_front_max, std::int32_t front_max) {
  std::vector<front_end> list;
  list.push_back({"m_norm(A,2)", [](const t_matrix& a) { static_cast<void>(orvik::m_norm(a, 2)); }, 1 << 20});
  list.push_back({"m_cond(A)", [](const t_matrix& a) { static_cast<void>(orvik::m_cond(a)); }, 1 << 20});
  for (const std::string method : {"gs", "gsro", "ho"}) {
    const std::int32_t most = method == "ho" ? ho_max : 1 << 20;
    const std::int32_t most_front = method == "ho" ? ho_front_max : front_max;
    const auto qr = [method] { return qr_method_of(method); };
    list.push_back(
        {"m_decompsvd:" + method,
         [qr](const t_matrix& a) { orvik::t_svd f = orvik::m_decompsvd(a, std::nullopt, std::nullopt, qr()); }, most});
    list.push_back({"m_decompsvd_s:" + method,
                    [qr](const t_matrix& a) { t_vector s = orvik::m_decompsvd_s(a, std::nullopt, std::nullopt, qr()); },
                    most});
    list.push_back({"m_rank(svd):" + method,
                    [qr](const t_matrix& a) {
                      static_cast<void>(orvik::m_rank(a, std::nullopt, "svd", std::nullopt, std::nullopt, qr()));
                    },
                    most_front});
    list.push_back({"m_pinv(svd):" + method,
                    [qr](const t_matrix& a) {
                      t_matrix x =
                          orvik::m_pinv(a, std::nullopt, std::nullopt, std::nullopt, qr(), std::nullopt, "svd");
                    },
                    most_front});
  }
  return list;
}

void stops_survey(const std::vector<real_input>& reals, bool full) {
  const std::vector<std::string> families = {"uniform", "positive", "symmetric", "spd", "graded"};
  const std::vector<std::int32_t> sizes = {8, 16, 32, 48, 64};
  // Householder: m_decompsvd(_s) up to 32. m_rank and m_pinv only pass
  // their matrix on to them: in the default run up to 32 (Householder 16).
  constexpr std::int32_t ho_max = 32;
  const std::int32_t ho_front_max = full ? 32 : 16;
  const std::int32_t front_max = full ? 64 : 32;
  constexpr int draws = 5;
  std::fprintf(out,
               "\n## Stops of the spectral norm, the condition number and the SVD front ends\n\n"
               "Stops / calls by order n (the error numbers after the counts), %d draws per order. The Householder "
               "method (\"ho\") only up to n = %d (m_rank, m_pinv: %d): a run that does not converge costs O(n^5); "
               "m_rank and m_pinv, which pass their matrix on to m_decompsvd_s and m_decompsvd, up to n = %d. "
               "m_cond's 300 is m_inverse_gaussj's \"close to singular or badly scaled\". seconds: time spent in the "
               "row.\n\n",
               draws, ho_max, ho_front_max, front_max);
  std::fprintf(out, "| call | family |");
  for (std::int32_t n : sizes) std::fprintf(out, " n=%d |", n);
  std::fprintf(out, " seconds |\n|---|---|");
  for (std::size_t i = 0; i < sizes.size(); ++i) std::fprintf(out, "--:|");
  std::fprintf(out, "--:|\n");
  std::map<std::string, std::pair<int, int>> totals;  // call -> (stops, calls)
  for (const front_end& f : front_ends(ho_max, ho_front_max, front_max)) {
    for (const std::string& family : families) {
      std::fprintf(out, "| %s | %s |", f.name.c_str(), family.c_str());
      const auto start = std::chrono::steady_clock::now();
      for (std::int32_t n : sizes) {
        if (n > f.max_n) {
          std::fprintf(out, " - |");
          continue;
        }
        std::map<std::int32_t, int> stops;
        int stopped = 0;
        for (int d = 0; d < draws; ++d) {
          const t_matrix a = family_input(family, n, n, d, 'g');
          const auto stop = stop_of([&] { f.call(a); });
          if (stop) {
            ++stops[*stop];
            ++stopped;
          }
        }
        totals[f.name].first += stopped;
        totals[f.name].second += draws;
        std::string numbers;
        for (const auto& [number, count] : stops) {
          char part[16];
          std::snprintf(part, sizeof part, "%s%d", numbers.empty() ? " (" : ",", number);
          numbers += part;
        }
        if (!numbers.empty()) numbers += ")";
        std::fprintf(out, " %d/%d%s |", stopped, draws, numbers.c_str());
        std::fflush(out);
      }
      std::fprintf(out, " %.1f |\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      std::fflush(out);
    }
  }
  std::fprintf(out, "\nTotals over the families: ");
  for (const auto& [name, t] : totals) std::fprintf(out, "%s %d/%d; ", name.c_str(), t.first, t.second);
  std::fprintf(out, "\n");

  if (reals.empty()) return;
  // The classic iterations on the real matrices: up to order 120 by
  // default (the SVD sweeps cost O(n^3) each, and the larger files take
  // minutes a call), 220 with --full; Householder up to 16 (up to 51 with
  // --full: 20 s a call at 48).
  const std::int32_t most = full ? 220 : 120;
  const std::int32_t most_ho = full ? 51 : 16;
  std::fprintf(out,
               "\nOn the real matrices (max(m, n) <= %d; Householder <= %d): the stop number, or ok; seconds per call "
               "in brackets; m_cond only on square ones.\n\n| call |",
               most, most_ho);
  std::vector<const real_input*> chosen;
  for (const real_input& r : reals)
    if (std::max(r.a.rows, r.a.cols) <= most) chosen.push_back(&r);
  for (const real_input* r : chosen) std::fprintf(out, " %s %dx%d |", r->name.c_str(), r->a.rows, r->a.cols);
  std::fprintf(out, "\n|---|");
  for (std::size_t i = 0; i < chosen.size(); ++i) std::fprintf(out, "---|");
  std::fprintf(out, "\n");
  for (const front_end& f : front_ends(most_ho, most_ho, 1 << 20)) {
    std::fprintf(out, "| %s |", f.name.c_str());
    for (const real_input* r : chosen) {
      if (std::max(r->a.rows, r->a.cols) > f.max_n || (f.name == "m_cond(A)" && r->a.rows != r->a.cols)) {
        std::fprintf(out, " - |");
        continue;
      }
      const auto start = std::chrono::steady_clock::now();
      const auto stop = stop_of([&] { f.call(r->a); });
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(out, " %s (%.2g) |", stop ? std::to_string(*stop).c_str() : "ok", seconds);
      std::fflush(out);
    }
    std::fprintf(out, "\n");
  }
}

// The values of one input one by one, against dgesvd and dgesvj: where the
// worst relative errors sit.
void value_detail(const std::string& request) {
  std::string family = request.substr(0, request.find(':'));
  std::int32_t m = 0;
  std::int32_t n = 0;
  std::int32_t draw = 0;
  std::sscanf(request.c_str() + family.size(), ":%d:%d:%d", &m, &n, &draw);
  const t_matrix a = family_input(family, m, n, draw, 'v');
  const t_vector ours = orvik::m_svd_values(a);
  const float_svd peer = sgesvd_thin(a);
  const std::vector<double> ref = singular_values(a);
  const std::vector<double> jacobi = jacobi_values(a);
  std::fprintf(out, "\n%s %dx%d draw %d: |s - r| / (r eps), r from dgesvd (and dgesvj)\n", family.c_str(), m, n, draw);
  std::fprintf(out, "%5s %14s %14s %12s %12s %12s %12s\n", "i", "dgesvd", "dgesvj", "orvik", "sgesvd", "orvik(j)",
               "sgesvd(j)");
  for (std::size_t i = 0; i < ref.size(); ++i) {
    const auto rel = [&](double x, double r) { return std::fabs(x - r) / (r * eps); };
    std::fprintf(out, "%5zu %14.8g %14.8g %12.3g %12.3g %12.3g %12.3g\n", i, ref[i], jacobi[i],
                 rel(ours.elements[i], ref[i]), rel(peer.s[i], ref[i]), rel(ours.elements[i], jacobi[i]),
                 rel(peer.s[i], jacobi[i]));
  }
}

}  // namespace

int main(int argc, char** argv) {
  orvik_bench::run_peer_natively(argv);
  openblas_set_num_threads(1);
  bool full = false;
  std::string only;
  std::string detail;
  std::optional<std::filesystem::path> given;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--full") {
      full = true;
    } else if (arg.rfind("--only=", 0) == 0) {
      only = arg.substr(7);
    } else if (arg.rfind("--values=", 0) == 0) {
      detail = arg.substr(9);
    } else if (arg.rfind("--realdata=", 0) == 0) {
      given = arg.substr(11);
    } else {
      std::fprintf(stderr,
                   "usage: %s [--full] [--only=svd|eig_sym|eig_gen|stops] [--realdata=<folder>]\n"
                   "       %s --values=<family>:<m>:<n>:<draw>\n",
                   argv[0], argv[0]);
      return 2;
    }
  }
  out = table_output();
  if (!detail.empty()) {
    const orvik::raising_scope raising;
    value_detail(detail);
    return 0;
  }
  const auto wanted = [&](const char* part) { return only.empty() || only == part; };
  std::optional<std::filesystem::path> folder;
  if (given) {
    if (std::filesystem::is_directory(*given / "matrices")) folder = given;
  } else {
    folder = orvik::test::real_data_folder();
  }
  std::fprintf(out, "# Fast decompositions: accuracy and stops (%s run)\n\n", full ? "full" : "default");
  std::fprintf(out, "orvik kernels: %s; OpenBLAS core: %s; eps = 2^-24\n", orvik::kernels_in_use(),
               openblas_get_corename());
  const std::vector<real_input> reals = real_inputs(folder);
  if (!folder) {
    const char* env = std::getenv("ORVIK_REALDATA");  // NOLINT(concurrency-mt-unsafe): no other thread yet
    const std::string where =
        given            ? given->string() + " (no matrices/ in it)"
        : env != nullptr ? "ORVIK_REALDATA=" + std::string(env) + " (no strd/ and matrices/ in it)"
                         : std::string(ORVIK_REALDATA_DIR) + " (no strd/ and matrices/ in it; or set ORVIK_REALDATA)";
    std::fprintf(out, "real matrices skipped: %s\n", where.c_str());
  } else
    std::fprintf(out, "real matrices: %zu from %s/matrices\n", reals.size(),
                 folder->lexically_normal().string().c_str());

  const orvik::raising_scope raising;
  const auto start = std::chrono::steady_clock::now();
  const auto draws_at = [full](std::int32_t n) {
    return n <= 64 ? (full ? 10 : 5) : n <= 128 ? (full ? 5 : 3) : n <= 256 ? (full ? 3 : 2) : (full ? 2 : 1);
  };
  const std::vector<std::int32_t> sizes = {32, 64, 128, 256, 512};

  if (wanted("svd")) {
    svd_header();
    for (const bool tall : {false, true})
      for (const std::string family : {"uniform", "positive", "symmetric", "spd", "graded", "clustered"}) {
        if (tall && (family == "symmetric" || family == "spd")) continue;
        for (std::int32_t n : sizes) {
          const std::int32_t m = tall ? 2 * n : n;
          svd_row row;
          for (std::int32_t d = 0; d < draws_at(n); ++d)
            svd_sample(row, family_input(family, m, n, d, 'v'), family == "graded");
          svd_print(family, m, n, row);
        }
      }
    for (const real_input& r : reals) {
      svd_row row;
      svd_sample(row, r.a, false);
      svd_print(r.name, r.a.rows, r.a.cols, row);
    }
  }
  if (wanted("eig_sym")) {
    sym_header();
    for (const std::string family : {"uniform", "positive", "spd", "graded", "clustered"})
      for (std::int32_t n : sizes) {
        sym_row row;
        for (std::int32_t d = 0; d < draws_at(n); ++d) sym_sample(row, family_input(family, n, n, d, 's'));
        sym_print(family, n, row);
      }
    for (const real_input& r : reals) {
      if (!is_symmetric(r.a)) continue;
      sym_row row;
      sym_sample(row, r.a);
      sym_print(r.name, r.a.rows, row);
    }
  }
  if (wanted("eig_gen")) {
    gen_header();
    std::vector<std::int32_t> gen_sizes = {32, 64, 128, 256};
    if (full) gen_sizes.push_back(512);
    for (const std::string family : {"uniform", "positive", "symmetric", "spd", "graded", "clustered", "companion"})
      for (std::int32_t n : gen_sizes) {
        gen_row row;
        for (std::int32_t d = 0; d < (family == "companion" ? 1 : draws_at(n)); ++d)
          gen_sample(row, family_input(family, n, n, d, 'g'));
        gen_print(family, n, row);
      }
    for (const real_input& r : reals) {
      if (r.a.rows != r.a.cols) continue;
      gen_row row;
      gen_sample(row, r.a);
      gen_print(r.name, r.a.rows, row);
    }
  }
  if (!fast_calls.empty()) {
    std::fprintf(out, "\n## Stops of the fast decompositions over the tables above (n <= 512)\n\n");
    for (const auto& [name, t] : fast_calls)
      std::fprintf(out, "- %s: %d inputs, stops %s\n", name.c_str(), t.calls, stops_cell(t.stops).c_str());
  }
  if (wanted("stops")) stops_survey(reals, full);
  std::fprintf(out, "\n%.0f s in all\n",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  std::fclose(out);
  return 0;
}
