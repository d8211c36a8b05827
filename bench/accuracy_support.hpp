#pragma once
// What the accuracy benchmarks share: double-precision LAPACK as the oracle,
// the measures taken in double (products, Frobenius norms, ratios in units
// of eps), the table of calls, stops and measures, and the standard output
// kept apart from the library's own printing.

#include <orvik/orvik.hpp>

#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

extern "C" {
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info,
             std::size_t, std::size_t);
void dgeev_(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
            double* vl, const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, int* info,
            std::size_t, std::size_t);
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w, double* work,
            const int* lwork, int* info, std::size_t, std::size_t);
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, std::size_t, std::size_t);
}

namespace orvik_accuracy {

using orvik::t_matrix;
using orvik::t_vector;
using dmat = std::vector<double>;  // column-major, with its order known from context

constexpr double eps = 0x1p-24;

// ---------------------------------------------------------------- double oracles

inline dmat to_double(const t_matrix& m) { return {m.elements.begin(), m.elements.end()}; }

// Singular values, largest first, with the full U and V^T when asked.
inline std::vector<double> singular_values(const t_matrix& a, dmat* u = nullptr, dmat* vt = nullptr) {
  const int m = a.rows;
  const int n = a.cols;
  dmat w = to_double(a);
  std::vector<double> s(static_cast<std::size_t>(std::min(m, n)));
  dmat uu(u != nullptr ? static_cast<std::size_t>(m) * m : 1);
  dmat vv(u != nullptr ? static_cast<std::size_t>(n) * n : 1);
  const int ldu = u != nullptr ? m : 1;
  const int ldvt = u != nullptr ? n : 1;
  int lwork = -1;
  int info = 0;
  double query = 0.0;
  const char job = u != nullptr ? 'A' : 'N';
  dgesvd_(&job, &job, &m, &n, w.data(), &m, s.data(), uu.data(), &ldu, vv.data(), &ldvt, &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  w = to_double(a);
  dgesvd_(&job, &job, &m, &n, w.data(), &m, s.data(), uu.data(), &ldu, vv.data(), &ldvt, work.data(), &lwork, &info, 1,
          1);
  if (u != nullptr) {
    *u = uu;
    *vt = vv;
  }
  return s;
}

// The eigenvalues of a square matrix (dgeev), in dgeev's order.
inline std::vector<std::complex<double>> eigenvalues(const t_matrix& a) {
  const int n = a.rows;
  dmat w = to_double(a);
  std::vector<double> wr(static_cast<std::size_t>(n));
  std::vector<double> wi(static_cast<std::size_t>(n));
  double dummy = 0.0;
  const int one = 1;
  int lwork = 8 * n + 16;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  int info = 0;
  dgeev_("N", "N", &n, w.data(), &n, wr.data(), wi.data(), &dummy, &one, &dummy, &one, work.data(), &lwork, &info, 1,
         1);
  std::vector<std::complex<double>> out;
  for (std::size_t i = 0; i < wr.size(); ++i) out.emplace_back(wr[i], wi[i]);
  return out;
}

// The eigenvalues of a symmetric matrix (dsyev, its lower triangle),
// ascending.
inline std::vector<double> symmetric_eigenvalues(const t_matrix& a) {
  const int n = a.rows;
  dmat w = to_double(a);
  std::vector<double> e(static_cast<std::size_t>(n));
  const int lwork = 8 * n + 64;
  dmat work(static_cast<std::size_t>(lwork));
  int info = 0;
  dsyev_("N", "L", &n, w.data(), &n, e.data(), work.data(), &lwork, &info, 1, 1);
  return e;
}

// ---------------------------------------------------------------- measures in double

// op(a) * op(b), op(a) m x k, op(b) k x n.
inline dmat product(const dmat& a, const dmat& b, int m, int k, int n, bool ta = false, bool tb = false) {
  dmat c(static_cast<std::size_t>(m) * n, 0.0);
  if (m == 0 || n == 0 || k == 0) return c;
  const int lda = ta ? k : m;
  const int ldb = tb ? n : k;
  const double one = 1.0;
  const double zero = 0.0;
  dgemm_(ta ? "T" : "N", tb ? "T" : "N", &m, &n, &k, &one, a.data(), &lda, b.data(), &ldb, &zero, c.data(), &m, 1, 1);
  return c;
}

inline double fro(const dmat& a) {
  double s = 0.0;
  for (double x : a) s += x * x;
  return std::sqrt(s);
}

inline double fro_diff(const dmat& a, const dmat& b) {
  double s = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(s);
}

// ||Q^T Q - I||_F / (order eps) for the columns of Q.
inline double orthogonality(const t_matrix& q, std::int32_t order) {
  const dmat d = to_double(q);
  dmat g = product(d, d, q.cols, q.rows, q.cols, true, false);
  for (int i = 0; i < q.cols; ++i) g[static_cast<std::size_t>(i) * q.cols + i] -= 1.0;
  return fro(g) / (std::max(order, 1) * eps);
}

// The same, in units of max(rows, cols) eps.
inline double orthogonality(const t_matrix& q) { return orthogonality(q, std::max(q.rows, q.cols)); }

inline double ratio(double residual, double scale, std::int32_t n) {
  if (residual == 0.0) return 0.0;
  return residual / (std::max(scale, 1e-300) * n * eps);
}

inline double relative(double value, double exact) {
  if (value == exact) return 0.0;
  return std::fabs(value - exact) / std::max(std::fabs(exact), 1e-300);
}

// ---------------------------------------------------------------- table

// The calls of one row: how many, the stops by number, the measures of the
// others.
struct tally {
  int calls = 0;
  std::map<std::int32_t, int> stops;
  std::vector<double> measures;
};

inline std::string format_measure(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%10.3g", x);
  return text;
}

inline void print_table(std::FILE* out, const std::vector<std::pair<std::string, tally>>& rows) {
  std::fprintf(out, "%-30s %6s %7s  %-22s %10s %10s\n", "routine / family / n", "calls", "stopped", "stops by number",
               "median", "worst");
  for (const auto& [key, t] : rows) {
    int stopped = 0;
    std::string by_number;
    for (const auto& [number, count] : t.stops) {
      stopped += count;
      by_number += std::to_string(number) + ":" + std::to_string(count) + " ";
    }
    std::vector<double> m = t.measures;
    std::sort(m.begin(), m.end());
    const std::string median = m.empty() ? "         -" : format_measure(m[m.size() / 2]);
    const std::string worst = m.empty() ? "         -" : format_measure(m.back());
    std::fprintf(out, "%-30s %6d %6.1f%%  %-22s %s %s\n", key.c_str(), t.calls, 100.0 * stopped / t.calls,
                 by_number.c_str(), median.c_str(), worst.c_str());
  }
}

// ---------------------------------------------------------------- output

// Some routines print (the deflation method its residuals): the library's
// output goes to /dev/null from here on, and the returned stream is the
// original standard output, for the tables.
inline std::FILE* table_output() {
  std::fflush(stdout);
  std::FILE* out = fdopen(dup(STDOUT_FILENO), "w");
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, STDOUT_FILENO);
  close(null_fd);
  return out;
}

}  // namespace orvik_accuracy
