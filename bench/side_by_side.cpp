// orvik against OpenBLAS and its LAPACK, side by side in one run, one
// thread, OpenBLAS on its own kernels (see native_peer.hpp). Each figure is
// the best of several timed repetitions; the peer and orvik alternate so that a busy machine slows both alike. The last
// columns are the time ratios orvik / peer, and the reference loops' speed on the same data (kernel only, skipped where
// it would take too long).
//
//   orvik_side_by_side [max_n]
//   orvik_side_by_side --threads   (1 and 2 threads on each side, no taskset)

#include "kernels/kernels.hpp"
#include "native_peer.hpp"

#include <orvik/decompositions.hpp>
#include <orvik/matrix.hpp>
#include <orvik/runtime.hpp>
#include <orvik/vector.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

extern "C" {
void sgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const float* alpha,
            const float* a, const int* lda, const float* b, const int* ldb, const float* beta, float* c,
            const int* ldc);
void sgemv_(const char* trans, const int* m, const int* n, const float* alpha, const float* a, const int* lda,
            const float* x, const int* incx, const float* beta, float* y, const int* incy);
void sgetrf_(const int* m, const int* n, float* a, const int* lda, int* ipiv, int* info);
void sgetri_(const int* n, float* a, const int* lda, const int* ipiv, float* work, const int* lwork, int* info);
void spotrf_(const char* uplo, const int* n, float* a, const int* lda, int* info);
}

namespace {

using orvik_bench::best_time;

orvik::t_matrix random_matrix(std::int32_t n, unsigned seed) {
  orvik::t_matrix m = orvik::m_zeros(n, n);
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (float& x : m.elements) x = value(gen);
  return m;
}

// Diagonally dominant, so that LU without pivoting and Gauss-Jordan stay
// finite; symmetric, so that it serves Cholesky too.
orvik::t_matrix spd_matrix(std::int32_t n, unsigned seed) {
  orvik::t_matrix m = random_matrix(n, seed);
  for (std::int32_t j = 0; j < n; ++j) {
    for (std::int32_t i = 0; i < j; ++i) {
      const auto ij = static_cast<std::size_t>(j) * n + i;
      const auto ji = static_cast<std::size_t>(i) * n + j;
      m.elements[ji] = m.elements[ij];
    }
    m.elements[static_cast<std::size_t>(j) * n + j] += static_cast<float>(n);
  }
  return m;
}

struct row {
  std::string name;
  int n;
  double flops;
  double orvik;
  double peer;
  double reference;  // < 0: not measured
};

void print(const row& r) {
  const double gf = 1e-9 * r.flops;
  std::printf("%-18s %5d  %9.2f  %9.2f  %6.2f", r.name.c_str(), r.n, gf / r.orvik, gf / r.peer, r.orvik / r.peer);
  if (r.reference > 0) {
    std::printf("  %9.2f  %7.1f\n", gf / r.reference, r.reference / r.peer);
  } else {
    std::printf("  %9s  %7s\n", "-", "-");
  }
  std::fflush(stdout);
}

// Each side at 1 and 2 threads (orvik::set_num_threads beside
// openblas_set_num_threads): the speed-ups and the 2-thread time ratio.
int thread_table() {
  orvik_bench::print_kernels();
  std::printf("%-18s %5s  %8s %8s %5s  %8s %8s %5s  %6s\n", "operation", "n", "orvik 1t", "2t GF", "x", "peer 1t",
              "2t GF", "x", "ratio2");
  const double budget = 0.5;
  for (const int n : {256, 512, 1024}) {
    const auto a = random_matrix(n, 1);
    const auto b = random_matrix(n, 2);
    const auto s = spd_matrix(n, 4);
    std::vector<float> c(static_cast<std::size_t>(n) * n);
    std::vector<float> w;
    std::vector<int> ipiv(static_cast<std::size_t>(n));
    const int lwork = 64 * n;
    std::vector<float> work(static_cast<std::size_t>(lwork));
    int info = 0;
    const float one = 1.0f;
    const float zero = 0.0f;
    auto fresh = [&] { w = s.elements; };
    struct op {
      const char* name;
      double flops;
      std::function<void()> prepare, orvik, peer;
    };
    const op ops[] = {
        {"m_prod_mat", 2.0 * n * n * n, [] {}, [&] { orvik::t_matrix p = orvik::m_prod_mat(a, b); },
         [&] {
           sgemm_("N", "N", &n, &n, &n, &one, a.elements.data(), &n, b.elements.data(), &n, &zero, c.data(), &n);
         }},
        {"m_decomplu", 2.0 / 3.0 * n * n * n, fresh, [&] { orvik::t_lu f = orvik::m_decomplu(s); },
         [&] { sgetrf_(&n, &n, w.data(), &n, ipiv.data(), &info); }},
        {"m_decompcholesky", 1.0 / 3.0 * n * n * n, fresh, [&] { orvik::t_m_and_p f = orvik::m_decompcholesky(s); },
         [&] { spotrf_("L", &n, w.data(), &n, &info); }},
        {"m_inverse_gaussj", 2.0 * n * n * n, fresh, [&] { orvik::t_matrix x = orvik::m_inverse_gaussj(s); },
         [&] {
           sgetrf_(&n, &n, w.data(), &n, ipiv.data(), &info);
           sgetri_(&n, w.data(), &n, ipiv.data(), work.data(), &lwork, &info);
         }},
    };
    for (const op& o : ops) {
      double orvik_t[2];
      double peer_t[2];
      for (const int threads : {1, 2}) {
        orvik::set_num_threads(threads);
        openblas_set_num_threads(threads);
        peer_t[threads - 1] = best_time(o.prepare, o.peer, budget);
        orvik_t[threads - 1] = best_time(o.prepare, o.orvik, budget);
      }
      const double gf = 1e-9 * o.flops;
      std::printf("%-18s %5d  %8.2f %8.2f %5.2f  %8.2f %8.2f %5.2f  %6.2f\n", o.name, n, gf / orvik_t[0],
                  gf / orvik_t[1], orvik_t[0] / orvik_t[1], gf / peer_t[0], gf / peer_t[1], peer_t[0] / peer_t[1],
                  orvik_t[1] / peer_t[1]);
      std::fflush(stdout);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  orvik_bench::run_peer_natively(argv);
  if (argc > 1 && std::string(argv[1]) == "--threads") return thread_table();
  orvik::set_num_threads(1);
  openblas_set_num_threads(1);
  const int max_n = argc > 1 ? std::atoi(argv[1]) : 2048;
  const auto& ref = orvik::kernels::reference_kernels();
  orvik_bench::print_kernels();
  std::printf("%-18s %5s  %9s  %9s  %6s  %9s  %7s\n", "operation", "n", "orvik GF", "peer GF", "ratio", "ref GF",
              "ref/peer");
  const double budget = 0.3;
  const float one = 1.0f;
  const float zero = 0.0f;
  const int inc = 1;

  for (const int n : {32, 64, 96, 128, 256, 512, 1024, 2048}) {
    if (n > max_n) break;
    const auto a = random_matrix(n, 1);
    const auto b = random_matrix(n, 2);
    std::vector<float> c(static_cast<std::size_t>(n) * n);
    row r{"m_prod_mat", n, 2.0 * n * n * n, 0, 0, -1};
    r.peer = best_time(
        [] {},
        [&] { sgemm_("N", "N", &n, &n, &n, &one, a.elements.data(), &n, b.elements.data(), &n, &zero, c.data(), &n); },
        budget);
    r.orvik = best_time([] {}, [&] { orvik::t_matrix p = orvik::m_prod_mat(a, b); }, budget);
    if (n <= 512) {
      r.reference =
          best_time([] {}, [&] { ref.prod_mat(a.elements.data(), b.elements.data(), c.data(), n, n, n); }, 0.0);
    }
    print(r);
  }

  for (const int n : {512, 1024, 2048, 4096}) {
    if (n > 2 * max_n) break;
    const auto a = random_matrix(n, 3);
    orvik::t_vector x = orvik::v_zeros(n);
    for (std::int32_t i = 0; i < n; ++i) x.elements[static_cast<std::size_t>(i)] = 1.0f / static_cast<float>(i + 1);
    std::vector<float> y(static_cast<std::size_t>(n));
    const double flops = 2.0 * n * n;
    const double peer_n = best_time(
        [] {},
        [&] { sgemv_("N", &n, &n, &one, a.elements.data(), &n, x.elements.data(), &inc, &zero, y.data(), &inc); },
        budget);
    const double peer_t = best_time(
        [] {},
        [&] { sgemv_("T", &n, &n, &one, a.elements.data(), &n, x.elements.data(), &inc, &zero, y.data(), &inc); },
        budget);
    row r1{"m_prod_vec1", n, flops, 0, peer_n, -1};
    r1.orvik = best_time([] {}, [&] { orvik::t_vector v = orvik::m_prod_vec1(a, x); }, budget);
    r1.reference = best_time([] {}, [&] { ref.prod_vec(a.elements.data(), x.elements.data(), y.data(), n, n); }, 0.0);
    print(r1);
    row r2{"m_prod_vec_c", n, flops, 0, peer_n, r1.reference};
    r2.orvik = best_time([] {}, [&] { orvik::t_vector v = orvik::m_prod_vec_c(a, x); }, budget);
    print(r2);
    row r3{"m_prod_vec2", n, flops, 0, peer_t, -1};
    r3.orvik = best_time([] {}, [&] { orvik::t_vector v = orvik::m_prod_vec2(x, a); }, budget);
    r3.reference =
        best_time([] {}, [&] { ref.prod_vec_left(x.elements.data(), a.elements.data(), n, y.data(), n, n); }, 0.0);
    print(r3);
  }

  for (const int n : {32, 64, 96, 128, 256, 512, 1024}) {
    if (n > max_n) break;
    const auto a = spd_matrix(n, 4);
    std::vector<float> w;
    std::vector<int> ipiv(static_cast<std::size_t>(n));
    int info = 0;
    auto fresh = [&] { w = a.elements; };
    const double lu_flops = 2.0 / 3.0 * n * n * n;
    const double getrf = best_time(
        fresh, [&] { sgetrf_(&n, &n, w.data(), &n, ipiv.data(), &info); }, budget);
    const bool slow_reference = n > 512;

    row lu{"m_decomplu", n, lu_flops, 0, getrf, -1};
    lu.orvik = best_time([] {}, [&] { orvik::t_lu f = orvik::m_decomplu(a); }, budget);
    if (!slow_reference)
      lu.reference = best_time(
          fresh, [&] { ref.lu(w.data(), n, n); }, 0.0);
    print(lu);
    row lum{"m_decomplu_m", n, lu_flops, 0, getrf, lu.reference};
    lum.orvik = best_time([] {}, [&] { orvik::t_m_and_p f = orvik::m_decomplu_m(a); }, budget);
    print(lum);

    const double potrf = best_time(
        fresh, [&] { spotrf_("L", &n, w.data(), &n, &info); }, budget);
    row chol{"m_decompcholesky", n, 1.0 / 3.0 * n * n * n, 0, potrf, -1};
    chol.orvik = best_time([] {}, [&] { orvik::t_m_and_p f = orvik::m_decompcholesky(a); }, budget);
    if (!slow_reference) {
      chol.reference = best_time(
          fresh, [&] { ref.cholesky(w.data(), n, 0x1p-24f); }, 0.0);
    }
    print(chol);

    const int lwork = 64 * n;
    std::vector<float> work(static_cast<std::size_t>(lwork));
    const double getri = best_time(
        fresh,
        [&] {
          sgetrf_(&n, &n, w.data(), &n, ipiv.data(), &info);
          sgetri_(&n, w.data(), &n, ipiv.data(), work.data(), &lwork, &info);
        },
        budget);
    row inv{"m_inverse_gaussj", n, 2.0 * n * n * n, 0, getri, -1};
    inv.orvik = best_time([] {}, [&] { orvik::t_matrix x = orvik::m_inverse_gaussj(a); }, budget);
    if (!slow_reference) {
      std::vector<float> x;
      inv.reference = best_time(
          [&] {
            fresh();
            x.assign(static_cast<std::size_t>(n) * n, 0.0f);
            for (int i = 0; i < n; ++i) x[static_cast<std::size_t>(i) * n + i] = 1.0f;
          },
          [&] { ref.gauss_jordan_inverse(w.data(), x.data(), n, 0x1p-24f); }, 0.0);
    }
    print(inv);
  }
  return 0;
}
