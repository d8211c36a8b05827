// The QR methods, the QR iteration, the SVD sweeps and the pseudo-inverses
// work in place on buffers of their own: the remembered defaults they leave
// (m_init's sizes, v_init's size, m_extract's bounds) must still be those the
// temporaries of the written-out operations leave, and their results the
// same bits. Both are checked
// against values recorded from the implementation that made every temporary.

#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>

namespace orvik {
namespace {

// Entries on a grid of 2^-20 in [-1, 1) from a generator of the test's own,
// so the inputs are the same on every platform.
t_matrix grid_matrix(std::int32_t rows, std::int32_t cols, std::uint32_t seed) {
  t_matrix m = m_zeros(rows, cols);
  std::uint32_t state = seed;
  for (float& x : m.elements) {
    state = state * 1664525u + 1013904223u;
    x = static_cast<float>(static_cast<std::int32_t>(state >> 11) - (1 << 20)) / static_cast<float>(1 << 20);
  }
  return m;
}

// Every remembered default, each set to a value no routine below produces,
// so that one left untouched shows as such.
void set_sentinels() {
  const t_matrix big = m_zeros(9, 9);
  (void)m_extract(big, 7, 8, 6, 9);
  t_matrix m;
  m_init(m, 13, 17);
  t_vector v;
  v_init(v, 19);
}

struct remembered {
  std::int32_t init_rows, init_cols, vector_size;
  std::array<std::int32_t, 4> bounds;  // row_first, row_last, col_first, col_last
  bool operator==(const remembered&) const = default;
};

std::ostream& operator<<(std::ostream& os, const remembered& r) {
  return os << "m_init " << r.init_rows << "x" << r.init_cols << ", v_init " << r.vector_size << ", m_extract "
            << r.bounds[0] << ".." << r.bounds[1] << ", " << r.bounds[2] << ".." << r.bounds[3];
}

// Reads the defaults back: an extraction from index matrices gives its
// bounds (first entry and shape), after m_init and v_init have been read.
remembered read_back() {
  remembered r{};
  t_matrix m;
  m_init(m);
  r.init_rows = m.rows;
  r.init_cols = m.cols;
  t_vector v;
  v_init(v);
  r.vector_size = v.size;
  t_matrix row_index = m_zeros(20, 20);
  t_matrix col_index = m_zeros(20, 20);
  for (std::int32_t j = 0; j < 20; ++j) {
    for (std::int32_t i = 0; i < 20; ++i) {
      row_index.elements[(static_cast<std::size_t>(j) * 20) + static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
      col_index.elements[(static_cast<std::size_t>(j) * 20) + static_cast<std::size_t>(i)] = static_cast<float>(j + 1);
    }
  }
  const t_matrix rows = m_extract(row_index);
  const t_matrix cols = m_extract(col_index);
  r.bounds = {static_cast<std::int32_t>(rows.elements[0]), static_cast<std::int32_t>(rows.elements[0]) + rows.rows - 1,
              static_cast<std::int32_t>(cols.elements[0]), static_cast<std::int32_t>(cols.elements[0]) + cols.cols - 1};
  return r;
}

constexpr std::array<std::int32_t, 4> untouched_bounds{7, 8, 6, 9};

TEST(InPlaceQr, HouseholderLeavesTheLastStepsBlockAndProduct) {
  struct expectation {
    std::int32_t rows, cols;
    remembered after;
  };
  // The last step k = min(m - 1, n): the block R(k..m, k..n) and H times it.
  // A single row takes no step and leaves everything as it was.
  const expectation cases[] = {
      {5, 3, {3, 1, 19, {3, 5, 3, 3}}}, {6, 2, {5, 1, 19, {2, 6, 2, 2}}},       {3, 5, {2, 4, 19, {2, 3, 2, 5}}},
      {4, 4, {2, 2, 19, {3, 4, 3, 4}}}, {1, 4, {13, 17, 19, untouched_bounds}}, {2, 1, {2, 1, 19, {1, 2, 1, 1}}},
  };
  for (const expectation& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols));
    const t_matrix a = grid_matrix(c.rows, c.cols, 3);
    for (const std::optional<bool> permute : {std::optional<bool>{}, std::optional<bool>{true}}) {
      set_sentinels();
      (void)m_decompqr_householder(a, permute);
      EXPECT_EQ(read_back(), c.after);
    }
  }
}

TEST(InPlaceQr, GramSchmidtLeavesRsShapeAndTheColumnLength) {
  // Plain: m_init at R (n x n), v_init at m, m_extract never used.
  set_sentinels();
  (void)m_decompqr_gramschimdt(grid_matrix(5, 3, 4));
  EXPECT_EQ(read_back(), (remembered{3, 3, 5, untouched_bounds}));
  // The same when the decomposition is refused: the state is left before
  // the error is raised.
  set_sentinels();
  {
    raising_scope raising;
    EXPECT_THROW((void)m_decompqr_gramschimdt(test::matrix_of(3, 3, {1, 2, 0, 0, 0, 0, 0, 0, 1})), orvik::error);
  }
  EXPECT_EQ(read_back(), (remembered{3, 3, 3, untouched_bounds}));
  // Re-orthogonalised: the last column's block Q(1..m, n..n) and its scaled copy.
  for (const std::optional<float> tol : {std::optional<float>{}, std::optional<float>{0.05f}}) {
    set_sentinels();
    (void)m_decompqr_gramschimdt_reortho(grid_matrix(4, 3, 5), tol, true);
    EXPECT_EQ(read_back(), (remembered{4, 1, 4, {1, 4, 3, 3}}));
  }
  // Wide input: the last column is past the rows.
  set_sentinels();
  (void)m_decompqr(grid_matrix(2, 5, 6), "gsro");
  EXPECT_EQ(read_back(), (remembered{2, 1, 2, {1, 2, 5, 5}}));
}

TEST(InPlaceQr, QrIterationLeavesItsLastSumAndTheQrsBounds) {
  const t_matrix a = grid_matrix(4, 4, 7);
  struct expectation {
    std::optional<std::string_view> method;
    std::int32_t niter;
    remembered after;
  };
  const expectation cases[] = {
      {std::nullopt, 3, {4, 4, 4, untouched_bounds}},
      {"ho", 3, {4, 4, 4, {3, 4, 3, 4}}},
      {"gsro", 3, {4, 4, 4, {1, 4, 4, 4}}},
      // No step: only the diagonal is made.
      {"ho", 0, {13, 17, 4, untouched_bounds}},
  };
  for (const expectation& c : cases) {
    SCOPED_TRACE(std::string(c.method.value_or("gs")) + " " + std::to_string(c.niter));
    set_sentinels();
    (void)m_eig_qr(a, c.niter, c.method);
    EXPECT_EQ(read_back(), c.after);
  }
}

TEST(InPlaceSweeps, SvdAndPseudoInversesLeaveTheLastTemporarysState) {
  struct expectation {
    const char* name;
    std::function<void()> call;
    std::int32_t stop;
    remembered after;
  };
  // The SVD: S (m_init), the last diagonal (v_init), the last QR's bounds;
  // the Cholesky pseudo-inverse: the last extraction, also where no column is
  // kept and where a zero root above a negative tol stops the division.
  const expectation cases[] = {
      {"svd ho 5x3",
       [] { (void)m_decompsvd(grid_matrix(5, 3, 21), std::nullopt, std::nullopt, "ho"); },
       0,
       {5, 3, 3, {2, 3, 2, 5}}},
      {"svd gsro 3x5",
       [] { (void)m_decompsvd(grid_matrix(3, 5, 22), std::nullopt, std::nullopt, "gsro"); },
       0,
       {3, 5, 5, {1, 5, 5, 5}}},
      {"svd_s gs", [] { (void)m_decompsvd_s(grid_matrix(4, 4, 23)); }, 0, {4, 4, 4, untouched_bounds}},
      {"svd no sweep",
       [] { (void)m_decompsvd(grid_matrix(4, 3, 24), 1e5f, std::nullopt, "ho"); },
       0,
       {4, 3, 19, untouched_bounds}},
      {"svd_s diverge",
       [] { (void)m_decompsvd_s(grid_matrix(4, 4, 25), std::nullopt, 0, "ho"); },
       301,
       {4, 4, 4, {3, 4, 3, 4}}},
      {"pinv chol", [] { (void)m_pseudoinv_chol(grid_matrix(5, 3, 26)); }, 0, {3, 5, 19, {1, 3, 1, 3}}},
      {"pinv chol zero", [] { (void)m_pseudoinv_chol(m_zeros(3, 4)); }, 0, {4, 3, 19, {3, 3, 3, 3}}},
      {"pinv chol negative tol", [] { (void)m_pseudoinv_chol(m_zeros(3, 3), -1.0f); }, 101, {2, 1, 19, {2, 3, 1, 1}}},
      {"pinv svd ho",
       [] { (void)m_pseudoinv_svd(grid_matrix(3, 5, 27), std::nullopt, std::nullopt, "ho"); },
       0,
       {5, 3, 3, {3, 5, 3, 3}}},
      {"pinv svd thin U", [] { (void)m_pseudoinv_svd(grid_matrix(3, 5, 27)); }, 0, {5, 3, 5, untouched_bounds}},
  };
  for (const expectation& c : cases) {
    SCOPED_TRACE(c.name);
    set_sentinels();
    std::int32_t stop = 0;
    {
      const raising_scope raising;
      try {
        c.call();
      } catch (const orvik::error& e) {
        stop = e.exception().number;
      }
    }
    EXPECT_EQ(stop, c.stop);
    EXPECT_EQ(read_back(), c.after);
  }
}

// FNV-1a over the bits of every element, with the shapes.
std::uint64_t bits_digest(std::initializer_list<const t_matrix*> matrices) {
  std::uint64_t h = 1469598103934665603ULL;
  const auto mix = [&h](std::uint32_t word) {
    for (int b = 0; b < 4; ++b) h = (h ^ ((word >> (8 * b)) & 0xffu)) * 1099511628211ULL;
  };
  for (const t_matrix* m : matrices) {
    mix(static_cast<std::uint32_t>(m->rows));
    mix(static_cast<std::uint32_t>(m->cols));
    for (const float x : m->elements) mix(std::bit_cast<std::uint32_t>(x));
  }
  return h;
}

TEST(InPlaceQr, ResultsKeepTheirRecordedBits) {
  // Recorded from the implementation that formed every temporary matrix;
  // the kernels' reference and optimised tables give the same bits.
  t_matrix a = grid_matrix(7, 5, 11);
  // A negative first entry, an exact zero and a repeated column.
  a.elements[0] = -0.75f;
  a.elements[8] = 0.0f;
  for (std::int32_t i = 0; i < 7; ++i)
    a.elements[28 + static_cast<std::size_t>(i)] = a.elements[static_cast<std::size_t>(i)];
  const t_qr ho = m_decompqr(a, "ho", std::nullopt, true);
  EXPECT_EQ(bits_digest({&ho.Q, &ho.R, &ho.P}), 0x71edf00dc1bd0ec1ULL);
  const t_qr gs = m_decompqr(grid_matrix(6, 6, 12));
  EXPECT_EQ(bits_digest({&gs.Q, &gs.R}), 0x9499af72628394f7ULL);
  const t_qr gsro = m_decompqr(a, "gsro");
  EXPECT_EQ(bits_digest({&gsro.Q, &gsro.R}), 0x031fb224876d7c38ULL);
  const t_vector eig = m_eig_qr(grid_matrix(5, 5, 13), 40);
  t_matrix as_matrix = m_zeros(5, 1);
  as_matrix.elements = eig.elements;
  EXPECT_EQ(bits_digest({&as_matrix}), 0xec832b53113d0280ULL);
}

}  // namespace
}  // namespace orvik
