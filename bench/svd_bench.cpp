// m_svd (thin) against OpenBLAS's sgesvd with JOBU = JOBVT = 'S', and
// m_svd_values against sgesvd 'N', 'N', one thread, square and 2n x n; then
// the accuracy of the values against dgesvd in double on the test families
// and on real matrices (Matrix Market files given as arguments), beside
// sgesvd's on the same float input.
//
// Run with
//   env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE taskset -c 1 orvik_svd_bench [file.mtx ...]

#include "native_peer.hpp"

#include <orvik/orvik.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
void sgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, float* a, const int* lda, float* s,
             float* u, const int* ldu, float* vt, const int* ldvt, float* work, const int* lwork, int* info,
             std::size_t, std::size_t);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info,
             std::size_t, std::size_t);
}

namespace {

using orvik_bench::best_time;

orvik::t_matrix random_matrix(std::int32_t rows, std::int32_t cols, unsigned seed) {
  orvik::t_matrix m = orvik::m_zeros(rows, cols);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  for (float& x : m.elements) x = dist(gen);
  return m;
}

// sgesvd on a copy; the values, largest first. job 'N' or 'S'.
std::vector<float> sgesvd(const orvik::t_matrix& a, char job) {
  int m = a.rows;
  int n = a.cols;
  std::vector<float> w(a.elements);
  const int k = std::min(m, n);
  std::vector<float> s(static_cast<std::size_t>(k));
  std::vector<float> u(job == 'S' ? static_cast<std::size_t>(m) * k : 1);
  std::vector<float> vt(job == 'S' ? static_cast<std::size_t>(k) * n : 1);
  const int ldu = job == 'S' ? m : 1;
  const int ldvt = job == 'S' ? k : 1;
  int lwork = -1;
  int info = 0;
  float query = 0.0f;
  sgesvd_(&job, &job, &m, &n, w.data(), &m, s.data(), u.data(), &ldu, vt.data(), &ldvt, &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query);
  std::vector<float> work(static_cast<std::size_t>(lwork));
  sgesvd_(&job, &job, &m, &n, w.data(), &m, s.data(), u.data(), &ldu, vt.data(), &ldvt, work.data(), &lwork, &info, 1,
          1);
  return s;
}

std::vector<double> dgesvd(const orvik::t_matrix& a) {
  int m = a.rows;
  int n = a.cols;
  std::vector<double> w(a.elements.begin(), a.elements.end());
  std::vector<double> s(static_cast<std::size_t>(std::min(m, n)));
  const char job = 'N';
  int one = 1;
  double dummy = 0.0;
  int lwork = -1;
  int info = 0;
  double query = 0.0;
  dgesvd_(&job, &job, &m, &n, w.data(), &m, s.data(), &dummy, &one, &dummy, &one, &query, &lwork, &info, 1, 1);
  lwork = static_cast<int>(query);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  dgesvd_(&job, &job, &m, &n, w.data(), &m, s.data(), &dummy, &one, &dummy, &one, work.data(), &lwork, &info, 1, 1);
  return s;
}

// max |s_i - r_i| / r_1 (in eps), and the largest relative error of a value
// above r_1 * 1e-6 (in eps): normwise and valuewise accuracy.
struct errors {
  double normwise = 0.0;
  double relative = 0.0;
};

template <class T>
errors measure(const std::vector<T>& s, const std::vector<double>& r) {
  errors e;
  if (r.empty() || r[0] == 0.0) return e;
  const double eps = 0x1p-24;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const double d = std::fabs(static_cast<double>(s[i]) - r[i]);
    e.normwise = std::max(e.normwise, d / r[0] / eps);
    if (r[i] > r[0] * 1e-6) e.relative = std::max(e.relative, d / r[i] / eps);
  }
  return e;
}

// A Matrix Market coordinate file as a dense matrix; symmetric files hold
// the lower triangle and are mirrored.
bool read_mtx(const std::string& path, orvik::t_matrix& out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  std::getline(in, line);
  const bool symmetric = line.find("symmetric") != std::string::npos;
  while (std::getline(in, line) && !line.empty() && line[0] == '%') {
  }
  std::istringstream header(line);
  int rows = 0;
  int cols = 0;
  int entries = 0;
  header >> rows >> cols >> entries;
  out = orvik::m_zeros(rows, cols);
  for (int t = 0; t < entries; ++t) {
    int i = 0;
    int j = 0;
    double v = 0.0;
    in >> i >> j >> v;
    out.elements[static_cast<std::size_t>(j - 1) * rows + (i - 1)] = static_cast<float>(v);
    if (symmetric && i != j) out.elements[static_cast<std::size_t>(i - 1) * rows + (j - 1)] = static_cast<float>(v);
  }
  return true;
}

orvik::t_matrix graded(std::int32_t rows, std::int32_t cols, unsigned seed) {
  orvik::t_matrix a = random_matrix(rows, cols, seed);
  for (std::int32_t j = 0; j < cols; ++j) {
    const double d = std::pow(1e-12, double(j) / std::max(cols - 1, 1));
    for (std::int32_t i = 0; i < rows; ++i) {
      float& x = a.elements[static_cast<std::size_t>(j) * rows + i];
      x = static_cast<float>(x * d);
    }
  }
  return a;
}

orvik::t_matrix known_rank(std::int32_t rows, std::int32_t cols, std::int32_t rank, unsigned seed) {
  const orvik::t_matrix x = random_matrix(rows, rank, seed);
  const orvik::t_matrix y = random_matrix(rank, cols, seed + 1);
  orvik::t_matrix a = orvik::m_zeros(rows, cols);
  for (std::int32_t j = 0; j < cols; ++j)
    for (std::int32_t i = 0; i < rows; ++i) {
      double s = 0.0;
      for (std::int32_t l = 0; l < rank; ++l)
        s += double(x.elements[static_cast<std::size_t>(l) * rows + i]) *
             y.elements[static_cast<std::size_t>(j) * rank + l];
      a.elements[static_cast<std::size_t>(j) * rows + i] = static_cast<float>(s);
    }
  return a;
}

void accuracy_row(const std::string& name, const orvik::t_matrix& a) {
  const std::vector<double> ref = dgesvd(a);
  const orvik::t_vector ours = orvik::m_svd_values(a);
  const std::vector<float> peer = sgesvd(a, 'N');
  const std::vector<float> peer_qr = sgesvd(a, 'S');
  const errors eo = measure(ours.elements, ref);
  const errors ep = measure(peer, ref);
  const errors eq = measure(peer_qr, ref);
  std::printf("| %-22s | %4d x %-4d | %10.2f | %10.2f | %10.2f | %12.2f | %12.2f | %12.2f |\n", name.c_str(), a.rows,
              a.cols, eo.normwise, ep.normwise, eq.normwise, eo.relative, ep.relative, eq.relative);
}

}  // namespace

int main(int argc, char** argv) {
  orvik_bench::run_peer_natively(argv);
  openblas_set_num_threads(1);
  orvik_bench::print_kernels();
  std::printf("\n");
  std::printf("| shape       | m_svd (ms) | sgesvd S,S (ms) | ratio | m_svd_values (ms) | sgesvd N,N (ms) | ratio |\n");
  std::printf("|-------------|-----------:|----------------:|------:|------------------:|----------------:|------:|\n");
  for (const bool tall : {false, true}) {
    for (const std::int32_t n : {32, 64, 128, 256, 512}) {
      const std::int32_t m = tall ? 2 * n : n;
      const orvik::t_matrix a = random_matrix(m, n, static_cast<unsigned>(m + n));
      const double budget = 0.3;
      const double ours = best_time([&] { const orvik::t_svd f = orvik::m_svd(a); }, budget);
      const double peer = best_time([&] { static_cast<void>(sgesvd(a, 'S')); }, budget);
      const double ours_v = best_time([&] { const orvik::t_vector v = orvik::m_svd_values(a); }, budget);
      const double peer_v = best_time([&] { static_cast<void>(sgesvd(a, 'N')); }, budget);
      std::printf("| %4d x %-4d | %10.3f | %15.3f | %5.2f | %17.3f | %15.3f | %5.2f |\n", m, n, ours * 1e3, peer * 1e3,
                  ours / peer, ours_v * 1e3, peer_v * 1e3, ours_v / peer_v);
      std::fflush(stdout);
    }
  }

  std::printf("\nValues against dgesvd, in units of eps: normwise max|s - r| / r_1, and the largest |s - r| / r\n");
  std::printf("over the values above r_1 * 1e-6; sgesvd N,N (values by dqds) and S,S (values by implicit QR).\n\n");
  std::printf(
      "| input                  | shape       | m_svd norm | N,N norm   | S,S norm   | m_svd rel.   | N,N rel.     "
      "| S,S rel.     |\n");
  std::printf(
      "|------------------------|-------------|-----------:|-----------:|-----------:|-------------:|-------------:"
      "|-------------:|\n");
  accuracy_row("random 200", random_matrix(200, 200, 1));
  accuracy_row("random 300x120", random_matrix(300, 120, 2));
  accuracy_row("random 90x250", random_matrix(90, 250, 3));
  accuracy_row("rank 20 of 150x100", known_rank(150, 100, 20, 4));
  accuracy_row("graded B*D 120", graded(120, 120, 5));
  accuracy_row("graded B*D 200x80", graded(200, 80, 6));
  {
    orvik::t_matrix tiny = random_matrix(100, 70, 7);
    for (float& x : tiny.elements) x = std::ldexp(x, -120);
    accuracy_row("tiny (2^-120) 100x70", tiny);
    orvik::t_matrix huge = random_matrix(70, 100, 8);
    for (float& x : huge.elements) x = std::ldexp(x, 120);
    accuracy_row("huge (2^120) 70x100", huge);
  }
  for (int i = 1; i < argc; ++i) {
    orvik::t_matrix a;
    if (!read_mtx(argv[i], a)) continue;
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    accuracy_row(name, a);
  }
  return 0;
}
