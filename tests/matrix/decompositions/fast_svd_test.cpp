// The fast singular value decomposition: residual and orthogonality on
// square, tall, wide, rank-deficient, graded and scaled inputs; values
// against LAPACK in double; the sign rule; thin against full; the values
// alone bit for bit; the same bits under both kernel tables; the stops;
// empty inputs.

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/oracles.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::element;
using test::matrix_of;

constexpr double threshold = 30.0;

// ||X||_F of a wide (double) matrix.
double frobenius(const test::wide_matrix& x) {
  double s = 0.0;
  for (const double v : x.values) s += v * v;
  return std::sqrt(s);
}

// ||A - U S V^T||_F / (||A||_F max(m, n) eps).
double residual(const t_matrix& a, const t_svd& f) {
  const test::wide_matrix usvt =
      test::product(test::product(test::widen(f.U), test::widen(f.S)), test::transpose(test::widen(f.V)));
  const double scale = frobenius(test::widen(a));
  const double diff = frobenius(test::minus(test::widen(a), usvt));
  if (scale == 0.0) return diff;
  return diff / (scale * std::max(a.rows, a.cols) * test::eps);
}

// ||X^T X - I||_F / (n eps), n the larger size of X.
double orthogonality(const t_matrix& x) {
  test::wide_matrix g = test::product(test::transpose(test::widen(x)), test::widen(x));
  for (std::int32_t i = 0; i < x.cols; ++i) g.values[static_cast<std::size_t>(i) * (x.cols + 1)] -= 1.0;
  return frobenius(g) / (std::max(x.rows, x.cols) * test::eps);
}

t_matrix graded(std::int32_t rows, std::int32_t cols, unsigned seed) {
  // A = B D with D from 1 down to 1e-12 across the columns.
  t_matrix a = test::random_matrix(rows, cols, seed);
  for (std::int32_t j = 0; j < cols; ++j) {
    const double d = cols > 1 ? std::pow(1e-12, double(j) / (cols - 1)) : 1.0;
    for (std::int32_t i = 0; i < rows; ++i) {
      float& x = a.elements[static_cast<std::size_t>(j) * rows + i];
      x = static_cast<float>(x * d);
    }
  }
  return a;
}

t_matrix scaled(t_matrix a, int exponent) {
  for (float& x : a.elements) x = std::ldexp(x, exponent);
  return a;
}

struct family {
  std::string name;
  t_matrix a;
};

std::vector<family> families() {
  std::vector<family> out;
  out.push_back({"square 40", test::random_matrix(40, 40, 1)});
  out.push_back({"tall 70x23", test::random_matrix(70, 23, 2)});
  out.push_back({"wide 17x50", test::random_matrix(17, 50, 3)});
  out.push_back({"rank 5 of 30x20", test::known_rank_matrix(30, 20, 5, 4)});
  out.push_back({"graded 36x36", graded(36, 36, 5)});
  out.push_back({"graded wide 12x30", graded(30, 12, 6)});
  out.push_back({"tiny", scaled(test::random_matrix(25, 19, 7), -120)});
  out.push_back({"huge", scaled(test::random_matrix(19, 25, 8), 120)});
  out.push_back({"hilbert 12", test::hilbert_matrix(12)});
  out.push_back({"one row", test::random_matrix(1, 9, 9)});
  out.push_back({"one column", test::random_matrix(9, 1, 10)});
  out.push_back({"zeros", test::zero_matrix(6, 4)});
  // Wide enough for the panels of the blocked reduction.
  out.push_back({"blocked 150x131", test::random_matrix(150, 131, 16)});
  out.push_back({"blocked wide 101x140", test::random_matrix(101, 140, 17)});
  // Twice as tall as wide from 32 columns: the QR first, in three panels.
  out.push_back({"QR first 170x70", test::random_matrix(170, 70, 19)});
  out.push_back({"QR first wide 33x80", test::random_matrix(33, 80, 20)});
  out.push_back({"graded QR first 140x64", graded(140, 64, 21)});
  out.push_back({"QR first rank 10 of 200x40", test::known_rank_matrix(200, 40, 10, 22)});
  out.push_back({"QR first zeros 64x32", test::zero_matrix(64, 32)});
  out.push_back({"graded blocked 128x128", graded(128, 128, 18)});
  return out;
}

TEST(FastSvd, FactorsReproduceTheMatrixAndAreOrthonormal) {
  for (const family& f : families()) {
    for (const bool full : {false, true}) {
      SCOPED_TRACE(f.name + (full ? " full" : " thin"));
      const t_svd s = m_svd(f.a, full);
      const std::int32_t m = f.a.rows;
      const std::int32_t n = f.a.cols;
      const std::int32_t k = std::min(m, n);
      EXPECT_EQ(s.U.rows, m);
      EXPECT_EQ(s.U.cols, full ? m : k);
      EXPECT_EQ(s.S.rows, full ? m : k);
      EXPECT_EQ(s.S.cols, full ? n : k);
      EXPECT_EQ(s.V.rows, n);
      EXPECT_EQ(s.V.cols, full ? n : k);
      EXPECT_LE(residual(f.a, s), threshold);
      EXPECT_LE(orthogonality(s.U), threshold);
      EXPECT_LE(orthogonality(s.V), threshold);
      for (std::int32_t i = 1; i <= k; ++i) {
        EXPECT_GE(element(s.S, i, i), 0.0f);
        if (i > 1) {
          EXPECT_LE(element(s.S, i, i), element(s.S, i - 1, i - 1));
        }
      }
      // Nothing but the diagonal.
      for (std::int32_t j = 1; j <= s.S.cols; ++j) {
        for (std::int32_t i = 1; i <= s.S.rows; ++i) {
          if (i != j) {
            EXPECT_EQ(element(s.S, i, j), 0.0f);
          }
        }
      }
    }
  }
}

TEST(FastSvd, ValuesMatchLapackInDouble) {
#if ORVIK_HAVE_LAPACK
  for (const family& f : families()) {
    SCOPED_TRACE(f.name);
    const t_vector ours = m_svd_values(f.a);
    const std::vector<double> reference = test::reference_singular_values(f.a);
    ASSERT_EQ(ours.elements.size(), reference.size());
    const bool graded_input = f.name.rfind("graded", 0) == 0;
    if (reference.empty() || reference[0] == 0.0) {
      for (const float x : ours.elements) EXPECT_EQ(x, 0.0f);
      continue;
    }
    for (std::size_t i = 0; i < reference.size(); ++i) {
      // Graded inputs keep every value to relative accuracy; the others to
      // accuracy relative to the largest.
      const double scale = graded_input ? reference[i] : reference[0];
      const double r = test::agreement_ratio(ours.elements[i], reference[i], scale, std::max(f.a.rows, f.a.cols));
      EXPECT_LE(r, test::agreement_threshold) << i;
    }
  }
#else
  GTEST_SKIP() << "reference LAPACK not installed";
#endif
}

TEST(FastSvd, SignsThinFullAndValuesAgree) {
  for (const family& f : families()) {
    SCOPED_TRACE(f.name);
    const t_svd thin = m_svd(f.a);
    const t_svd full = m_svd(f.a, true);
    const t_vector values = m_svd_values(f.a);
    const std::int32_t k = std::min(f.a.rows, f.a.cols);
    // The values alone are the thin and the full diagonal, bit for bit.
    ASSERT_EQ(values.size, k);
    for (std::int32_t i = 1; i <= k; ++i) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(values.elements[i - 1]),
                std::bit_cast<std::uint32_t>(element(thin.S, i, i)));
      EXPECT_EQ(std::bit_cast<std::uint32_t>(values.elements[i - 1]),
                std::bit_cast<std::uint32_t>(element(full.S, i, i)));
    }
    // The thin factors are the full ones' first k columns.
    EXPECT_TRUE(std::equal(thin.U.elements.begin(), thin.U.elements.end(), full.U.elements.begin()));
    EXPECT_TRUE(std::equal(thin.V.elements.begin(), thin.V.elements.end(), full.V.elements.begin()));
    // Every column of U has its largest entry (the first of equals) positive.
    for (std::int32_t j = 1; j <= full.U.cols; ++j) {
      std::int32_t p = 1;
      for (std::int32_t i = 2; i <= full.U.rows; ++i) {
        if (std::fabs(element(full.U, i, j)) > std::fabs(element(full.U, p, j))) p = i;
      }
      EXPECT_GT(element(full.U, p, j), 0.0f) << "column " << j;
    }
  }
}

TEST(FastSvd, ScalingByPowersOfTwoScalesTheValuesExactly) {
  const t_matrix a = test::random_matrix(21, 13, 11);
  const t_vector base = m_svd_values(a);
  for (const int e : {-100, -30, 40, 100}) {
    const t_vector moved = m_svd_values(scaled(a, e));
    for (std::size_t i = 0; i < base.elements.size(); ++i)
      EXPECT_EQ(moved.elements[i], std::ldexp(base.elements[i], e)) << e << " " << i;
  }
}

TEST(FastSvd, WorkedCasesAndRememberedSizes) {
  const t_vector s = m_svd_values(matrix_of(2, 2, {1, 2, 3, 4}));
  EXPECT_NEAR(s.elements[0], 5.4649857f, 1e-6f);
  EXPECT_NEAR(s.elements[1], 0.36596619f, 1e-6f);
  // A diagonal input: the values sorted, the sign of -5 in V, a permutation
  // with positive entries in U.
  const t_svd d = m_svd(matrix_of(3, 3, {2, 0, 0, 0, -5, 0, 0, 0, 3}));
  EXPECT_EQ(m_diag(d.S).elements, (std::vector<float>{5, 3, 2}));
  EXPECT_EQ(element(d.U, 2, 1), 1.0f);
  EXPECT_EQ(element(d.V, 2, 1), -1.0f);
  // A column 2^-129 below the largest entry: its reflector's length is
  // scaled into range, not by a power of two beyond float's.
  const t_vector tiny = m_svd_values(matrix_of(3, 2, {1, 0, 0, 1e-39f, 0, 1e-39f}));
  EXPECT_EQ(tiny.elements[0], 1.0f);
  EXPECT_NEAR(tiny.elements[1] / 1.41421356e-39f, 1.0f, 1e-5f);
  // Made last: U, so m_init remembers 4 x 2 from the thin 4 x 2 call.
  const t_svd thin = m_svd(test::random_matrix(4, 2, 12));
  t_matrix probe;
  m_init(probe);
  EXPECT_EQ(probe.rows, 4);
  EXPECT_EQ(probe.cols, 2);
  const t_vector values = m_svd_values(test::random_matrix(3, 7, 13));
  t_vector vprobe;
  v_init(vprobe);
  EXPECT_EQ(vprobe.size, 3);
}

TEST(FastSvd, EmptyMatrixGivesEmptyResults) {
  const t_matrix empty = m_zeros(0, 3);
  EXPECT_EQ(m_svd_values(empty).size, 0);
  const t_svd thin = m_svd(empty);
  EXPECT_EQ(thin.U.rows, 0);
  EXPECT_EQ(thin.U.cols, 0);
  EXPECT_EQ(thin.S.rows * thin.S.cols, 0);
  EXPECT_EQ(thin.V.rows, 3);
  EXPECT_EQ(thin.V.cols, 0);
  const t_svd full = m_svd(empty, true);
  EXPECT_EQ(full.S.rows, 0);
  EXPECT_EQ(full.S.cols, 3);
  EXPECT_EQ(full.V.elements, m_identity(3).elements);
}

TEST(FastSvd, Stops) {
  const t_matrix fresh{};
  t_matrix nan = test::random_matrix(3, 3, 14);
  nan.elements[4] = std::nanf("");
  t_matrix inf = test::random_matrix(2, 4, 15);
  inf.elements[7] = -INFINITY;
  test::expect_stops({
      {"svd fresh", [&] { m_svd(fresh); }, 2001, "m_svd::matrix not allocated"},
      {"svd nan", [&] { m_svd(nan, true); }, 300, "m_svd::matrix has an entry that is not finite"},
      {"svd inf", [&] { m_svd(inf); }, 300, "m_svd::matrix has an entry that is not finite"},
      {"values fresh", [&] { m_svd_values(fresh); }, 2001, "m_svd_values::matrix not allocated"},
      {"values nan", [&] { m_svd_values(nan); }, 300, "m_svd_values::matrix has an entry that is not finite"},
  });
}

// FNV-1a over the results' bits, printed by the helper test below.
std::uint64_t digest_of(const std::vector<const std::vector<float>*>& parts) {
  std::uint64_t h = 1469598103934665603ull;
  for (const auto* part : parts)
    for (const float x : *part) {
      const auto b = std::bit_cast<std::uint32_t>(x);
      for (int i = 0; i < 4; ++i) {
        h ^= (b >> (8 * i)) & 0xffu;
        h *= 1099511628211ull;
      }
    }
  return h;
}

// Shapes across the rotation kernel's stretches of rows and its tail.
std::string digests() {
  std::string out;
  for (const auto& [m, n] :
       std::vector<std::array<std::int32_t, 2>>{{37, 37}, {70, 29}, {13, 45}, {100, 64}, {140, 131}, {170, 70}}) {
    const t_matrix a = test::random_matrix(m, n, static_cast<unsigned>(m * 100 + n));
    const t_svd f = m_svd(a, true);
    const t_vector v = m_svd_values(graded(m, n, static_cast<unsigned>(m + n)));
    out += std::to_string(digest_of({&f.U.elements, &f.S.elements, &f.V.elements, &v.elements})) + "\n";
  }
  return out;
}

TEST(FastSvd, DISABLED_PrintDigests) { std::printf("digests\n%s", digests().c_str()); }

// Runs this program again under a given kernel table and returns what the
// digest helper printed.
std::string digests_under(const char* table) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command = std::string("ORVIK_KERNELS=") + table + " '" + self + "'" +
                              " --gtest_also_run_disabled_tests --gtest_filter=FastSvd.DISABLED_PrintDigests";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 256> line{};
  bool inside = false;
  while (std::fgets(line.data(), line.size(), pipe) != nullptr) {
    const std::string text(line.data());
    if (text == "digests\n") {
      inside = true;
      continue;
    }
    if (inside && text.size() > 1 && text.find_first_not_of("0123456789\n") == std::string::npos) out += text;
  }
  pclose(pipe);
  return out;
}

TEST(FastSvd, SameBitsUnderBothKernelTables) {
  const std::string reference = digests_under("reference");
  const std::string fast = digests_under("optimised");
  ASSERT_FALSE(reference.empty());
  EXPECT_EQ(reference, fast);
  EXPECT_EQ(reference, digests());
}

}  // namespace
}  // namespace orvik
