// m_eig_sym (and m_eig_gen) against OpenBLAS's LAPACK, one thread: speed
// side by side (best of several repetitions, the two alternating so that a
// busy machine slows both alike), then accuracy against LAPACK in double on
// random matrices and on the real matrices of a Matrix Market folder, beside
// the single-precision LAPACK routines on the same float input.
//
//   orvik_eigen_bench [matrix folder]
//
// Run it pinned to one core, e.g.
//   env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE taskset -c 1 orvik_eigen_bench /work/shared/realdata/matrices

#include "accuracy_support.hpp"
#include "native_peer.hpp"

#include <orvik/decompositions.hpp>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
void ssyev_(const char* jobz, const char* uplo, const int* n, float* a, const int* lda, float* w, float* work,
            const int* lwork, int* info, std::size_t, std::size_t);
void ssyevd_(const char* jobz, const char* uplo, const int* n, float* a, const int* lda, float* w, float* work,
             const int* lwork, int* iwork, const int* liwork, int* info, std::size_t, std::size_t);
void sgeev_(const char* jobvl, const char* jobvr, const int* n, float* a, const int* lda, float* wr, float* wi,
            float* vl, const int* ldvl, float* vr, const int* ldvr, float* work, const int* lwork, int* info,
            std::size_t, std::size_t);
}

namespace {

using orvik_bench::best_time;

constexpr double kEps = 0x1p-24;

orvik::t_matrix random_symmetric(std::int32_t n, unsigned seed) {
  orvik::t_matrix m = orvik::m_zeros(n, n);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (std::int32_t j = 0; j < n; ++j)
    for (std::int32_t i = j; i < n; ++i) {
      const float x = value(gen);
      m.elements[static_cast<std::size_t>(j) * n + i] = x;
      m.elements[static_cast<std::size_t>(i) * n + j] = x;
    }
  return m;
}

orvik::t_matrix random_general(std::int32_t n, unsigned seed) {
  orvik::t_matrix m = orvik::m_zeros(n, n);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (float& x : m.elements) x = value(gen);
  return m;
}

// The float LAPACK calls, with their workspace made once.
struct lapack_sym {
  int n;
  std::vector<float> a, w, work;
  std::vector<int> iwork;
  int lwork = 0, liwork = 0;
  explicit lapack_sym(int order) : n(order), a(static_cast<std::size_t>(order) * order), w(order) {
    lwork = 1 + 6 * n + 2 * n * n + 64;
    liwork = 3 + 5 * n;
    work.resize(static_cast<std::size_t>(lwork));
    iwork.resize(static_cast<std::size_t>(liwork));
  }
  void syev(const orvik::t_matrix& m, bool vectors) {
    a = m.elements;
    int info = 0;
    ssyev_(vectors ? "V" : "N", "L", &n, a.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
  }
  void syevd(const orvik::t_matrix& m, bool vectors) {
    a = m.elements;
    int info = 0;
    ssyevd_(vectors ? "V" : "N", "L", &n, a.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1,
            1);
  }
};

struct lapack_gen {
  int n;
  std::vector<float> a, wr, wi, vr, work;
  int lwork = 0;
  explicit lapack_gen(int order)
      : n(order), a(static_cast<std::size_t>(order) * order), wr(order), wi(order), vr(a.size()) {
    lwork = 8 * n + 64 * n + 64;
    work.resize(static_cast<std::size_t>(lwork));
  }
  int geev(const orvik::t_matrix& m, bool vectors) {
    a = m.elements;
    int info = 0;
    const int one = 1;
    float dummy = 0.0f;
    sgeev_("N", vectors ? "V" : "N", &n, a.data(), &n, wr.data(), wi.data(), &dummy, &one, vr.data(), &n, work.data(),
           &lwork, &info, 1, 1);
    return info;
  }
};

double frobenius(const orvik::t_matrix& m) { return orvik_accuracy::fro(orvik_accuracy::to_double(m)); }

// ||A V - V diag(w)||_F / (||A||_F n eps) and ||V^T V - I||_F / (n eps).
void sym_quality(const orvik::t_matrix& a, const float* v, const float* w, double& residual, double& orthogonality) {
  const int n = a.rows;
  double r = 0.0;
  double o = 0.0;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      double s = 0.0;
      double g = 0.0;
      for (int k = 0; k < n; ++k) {
        s += static_cast<double>(a.elements[static_cast<std::size_t>(k) * n + i]) *
             v[static_cast<std::size_t>(j) * n + k];
        g += static_cast<double>(v[static_cast<std::size_t>(i) * n + k]) * v[static_cast<std::size_t>(j) * n + k];
      }
      s -= static_cast<double>(w[j]) * v[static_cast<std::size_t>(j) * n + i];
      if (i == j) g -= 1.0;
      r += s * s;
      o += g * g;
    }
  }
  residual = std::sqrt(r) / (frobenius(a) * n * kEps);
  orthogonality = std::sqrt(o) / (n * kEps);
}

// max |w(i) - reference(i)| / (||A||_F n eps), both sorted.
double sym_value_error(const orvik::t_matrix& a, std::vector<float> w, const std::vector<double>& reference) {
  std::sort(w.begin(), w.end());
  double worst = 0.0;
  for (std::size_t i = 0; i < w.size(); ++i) worst = std::max(worst, std::fabs(w[i] - reference[i]));
  return worst / (frobenius(a) * a.rows * kEps);
}

void symmetric_speed() {
  std::printf("\nm_eig_sym against the faster of ssyev and ssyevd (seconds, best of runs)\n");
  std::printf("%6s %8s | %11s %11s %11s %7s | %11s %11s %11s %7s\n", "n", "", "orvik", "ssyev", "ssyevd", "ratio",
              "orvik+V", "ssyev+V", "ssyevd+V", "ratio");
  for (const int n : {32, 64, 128, 256, 512}) {
    const orvik::t_matrix a = random_symmetric(n, 17U + static_cast<unsigned>(n));
    lapack_sym peer(n);
    const double budget = n >= 256 ? 1.0 : 0.3;
    double t[6];
    t[0] = best_time([&] { orvik::t_eig e = orvik::m_eig_sym(a, false); }, budget);
    t[1] = best_time([&] { peer.syev(a, false); }, budget);
    t[2] = best_time([&] { peer.syevd(a, false); }, budget);
    t[3] = best_time([&] { orvik::t_eig e = orvik::m_eig_sym(a, true); }, budget);
    t[4] = best_time([&] { peer.syev(a, true); }, budget);
    t[5] = best_time([&] { peer.syevd(a, true); }, budget);
    std::printf("%6d %8s | %11.3e %11.3e %11.3e %7.2f | %11.3e %11.3e %11.3e %7.2f\n", n, "", t[0], t[1], t[2],
                t[0] / std::min(t[1], t[2]), t[3], t[4], t[5], t[3] / std::min(t[4], t[5]));
  }
}

void symmetric_accuracy(const std::string& name, const orvik::t_matrix& a) {
  const int n = a.rows;
  const std::vector<double> reference = orvik_accuracy::symmetric_eigenvalues(a);
  const orvik::t_eig e = orvik::m_eig_sym(a);
  double res = 0.0;
  double orth = 0.0;
  sym_quality(a, e.eigvecs.elements.data(), e.eigvals.elements.data(), res, orth);
  const double err = sym_value_error(a, e.eigvals.elements, reference);
  lapack_sym peer(n);
  peer.syev(a, true);
  double pres = 0.0;
  double porth = 0.0;
  sym_quality(a, peer.a.data(), peer.w.data(), pres, porth);
  const double perr = sym_value_error(a, peer.w, reference);
  std::printf("%-14s %5d | %9.2f %9.2f %9.2f | %9.2f %9.2f %9.2f\n", name.c_str(), n, res, orth, err, pres, porth,
              perr);
}

// A Matrix Market coordinate file; symmetric files give the mirror of each
// entry off the diagonal too. Empty when it is not square.
orvik::t_matrix read_market(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const bool symmetric = line.find("symmetric") != std::string::npos;
  const bool pattern = line.find("pattern") != std::string::npos;
  while (std::getline(in, line) && !line.empty() && line[0] == '%') {
  }
  std::istringstream head(line);
  int rows = 0, cols = 0, count = 0;
  head >> rows >> cols >> count;
  if (rows != cols || rows == 0) return orvik::m_zeros(0, 0);
  orvik::t_matrix m = orvik::m_zeros(rows, cols);
  for (int t = 0; t < count; ++t) {
    int i = 0, j = 0;
    double x = 1.0;
    in >> i >> j;
    if (!pattern) in >> x;
    m.elements[static_cast<std::size_t>(j - 1) * rows + (i - 1)] = static_cast<float>(x);
    if (symmetric) m.elements[static_cast<std::size_t>(i - 1) * rows + (j - 1)] = static_cast<float>(x);
  }
  return m;
}

bool is_symmetric(const orvik::t_matrix& m) {
  for (int j = 0; j < m.cols; ++j)
    for (int i = 0; i < m.rows; ++i)
      if (m.elements[static_cast<std::size_t>(j) * m.rows + i] != m.elements[static_cast<std::size_t>(i) * m.rows + j])
        return false;
  return true;
}

void general_speed() {
  std::printf("\nm_eig_gen against sgeev (seconds, best of runs)\n");
  std::printf("%6s %8s | %11s %11s %7s | %11s %11s %7s\n", "n", "", "orvik", "sgeev", "ratio", "orvik+V", "sgeev+V",
              "ratio");
  for (const int n : {32, 64, 128, 256}) {
    const orvik::t_matrix a = random_general(n, 41U + static_cast<unsigned>(n));
    lapack_gen peer(n);
    const double budget = n >= 256 ? 1.0 : 0.3;
    double t[4];
    t[0] = best_time([&] { orvik::t_eig_gen e = orvik::m_eig_gen(a, false); }, budget);
    t[1] = best_time([&] { peer.geev(a, false); }, budget);
    t[2] = best_time([&] { orvik::t_eig_gen e = orvik::m_eig_gen(a, true); }, budget);
    t[3] = best_time([&] { peer.geev(a, true); }, budget);
    std::printf("%6d %8s | %11.3e %11.3e %7.2f | %11.3e %11.3e %7.2f\n", n, "", t[0], t[1], t[0] / t[1], t[2], t[3],
                t[2] / t[3]);
  }
}

// ||A V - V diag(w)||_F / (||A||_F n eps) for vectors in LAPACK's real
// storage.
double gen_residual(const orvik::t_matrix& a, const float* vr, const float* wr, const float* wi) {
  const int n = a.rows;
  double r = 0.0;
  for (int j = 0; j < n; ++j) {
    const std::complex<double> lambda(wr[j], wi[j]);
    std::vector<std::complex<double>> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      const auto at = [&](int c) { return static_cast<double>(vr[static_cast<std::size_t>(c) * n + i]); };
      if (wi[j] == 0.0f) {
        v[static_cast<std::size_t>(i)] = at(j);
      } else if (wi[j] > 0.0f) {
        v[static_cast<std::size_t>(i)] = {at(j), at(j + 1)};
      } else {
        v[static_cast<std::size_t>(i)] = {at(j - 1), -at(j)};
      }
    }
    for (int i = 0; i < n; ++i) {
      std::complex<double> s = -lambda * v[static_cast<std::size_t>(i)];
      for (int k = 0; k < n; ++k)
        s += static_cast<double>(a.elements[static_cast<std::size_t>(k) * n + i]) * v[static_cast<std::size_t>(k)];
      r += std::norm(s);
    }
  }
  return std::sqrt(r) / (frobenius(a) * n * kEps);
}

// max over the computed values of the distance to the nearest unused
// reference value, / (||A||_F n eps).
double gen_value_error(const orvik::t_matrix& a, const float* wr, const float* wi,
                       std::vector<std::complex<double>> reference) {
  double worst = 0.0;
  for (int j = 0; j < a.rows; ++j) {
    const std::complex<double> got(wr[j], wi[j]);
    auto best = std::min_element(reference.begin(), reference.end(),
                                 [&](const auto& x, const auto& y) { return std::abs(x - got) < std::abs(y - got); });
    worst = std::max(worst, std::abs(*best - got));
    reference.erase(best);
  }
  return worst / (frobenius(a) * a.rows * kEps);
}

void general_accuracy(const std::string& name, const orvik::t_matrix& a) {
  const int n = a.rows;
  const std::vector<std::complex<double>> reference = orvik_accuracy::eigenvalues(a);
  const orvik::t_eig_gen e = orvik::m_eig_gen(a, true);
  const double res = gen_residual(a, e.vectors.elements.data(), e.re.elements.data(), e.im.elements.data());
  const double err = gen_value_error(a, e.re.elements.data(), e.im.elements.data(), reference);
  lapack_gen peer(n);
  const int info = peer.geev(a, true);
  const double pres = gen_residual(a, peer.vr.data(), peer.wr.data(), peer.wi.data());
  const double perr = gen_value_error(a, peer.wr.data(), peer.wi.data(), reference);
  std::printf("%-14s %5d | %9.2f %9.2f | %9.2f %9.2f%s\n", name.c_str(), n, res, err, pres, perr,
              info != 0 ? " (sgeev info != 0)" : "");
}

}  // namespace

int main(int argc, char** argv) {
  orvik_bench::run_peer_natively(argv);
  openblas_set_num_threads(1);
  orvik_bench::print_kernels();
  symmetric_speed();

  std::printf("\nm_eig_sym accuracy: residual, orthogonality, value error against dsyev (units of n eps)\n");
  std::printf("%-14s %5s | %9s %9s %9s | %9s %9s %9s\n", "matrix", "n", "res", "orth", "values", "ssyev res", "orth",
              "values");
  for (const int n : {32, 64, 128, 256, 512}) {
    symmetric_accuracy("random", random_symmetric(n, 29U + static_cast<unsigned>(n)));
  }
  std::vector<std::filesystem::path> files;
  if (argc > 1) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
      if (entry.path().extension() == ".mtx") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
  }
  for (const auto& file : files) {
    const orvik::t_matrix m = read_market(file);
    if (m.rows > 0 && is_symmetric(m)) symmetric_accuracy(file.stem().string(), m);
  }

  general_speed();
  std::printf("\nm_eig_gen accuracy: residual, value error against dgeev (units of ||A||_F n eps)\n");
  std::printf("%-14s %5s | %9s %9s | %9s %9s\n", "matrix", "n", "res", "values", "sgeev res", "values");
  for (const int n : {32, 64, 128, 256}) general_accuracy("random", random_general(n, 53U + static_cast<unsigned>(n)));
  for (const auto& file : files) {
    const orvik::t_matrix m = read_market(file);
    if (m.rows > 0) general_accuracy(file.stem().string(), m);
  }
  return 0;
}
