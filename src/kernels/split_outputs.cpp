// The products on the library's threads. Only outputs are split: C is cut
// into tiles (a matrix-vector product's y into stretches) on a grid that
// depends on the shape and the constants below alone, never on the thread
// count, and each tile is one call of the table's kernel on its block. A
// kernel gives every output its terms in order from its start whatever block
// the output falls in, so the results are the bits of one call on the whole.

#include "kernels/kernels.hpp"
#include "threads/thread_pool.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orvik::kernels {
namespace {

// Below this many fused steps per tile the wake-up of a worker costs more
// than the tile: such products stay on the calling thread.
constexpr std::int64_t kTileWork = std::int64_t{1} << 20;
// Tile edges, largest first: large tiles repack less of the operands, and
// four tiles or more let two threads even out.
constexpr std::int32_t kEdges[] = {512, 256, 128, 64, 32, 16};
constexpr std::int64_t kEnoughTiles = 4;

std::atomic<std::int32_t> test_edge{0};

std::int64_t blocks(std::int64_t extent, std::int64_t edge) { return (extent + edge - 1) / edge; }

struct grid {
  std::int32_t edge = 0;  // 0: one call on the whole
  std::int64_t rows = 1;
  std::int64_t cols = 1;
  std::int64_t tiles() const { return rows * cols; }
};

// The tiles of an m x n output whose elements take k terms each.
grid tiling(std::int32_t m, std::int32_t n, std::int32_t k) {
  grid g;
  if (m <= 0 || n <= 0 || threads::count() <= 1) return g;
  const std::int32_t forced = test_edge.load(std::memory_order_relaxed);
  if (forced > 0) {
    g = {forced, blocks(m, forced), blocks(n, forced)};
  } else {
    for (const std::int32_t edge : kEdges) {
      const std::int64_t work = std::int64_t{std::min(edge, m)} * std::min(edge, n) * std::max(k, 1);
      if (work < kTileWork) break;
      g = {edge, blocks(m, edge), blocks(n, edge)};
      if (g.tiles() >= kEnoughTiles) break;
    }
  }
  if (g.tiles() < 2) g = grid{};
  return g;
}

// fn(i0, j0, h, w) for every tile of g over an m x n output.
template <class F>
void for_tiles(const grid& g, std::int32_t m, std::int32_t n, F&& fn) {
  threads::parallel_for(static_cast<std::int32_t>(g.tiles()), [&](std::int32_t t) noexcept {
    const auto i0 = static_cast<std::int32_t>(t % g.rows) * g.edge;
    const auto j0 = static_cast<std::int32_t>(t / g.rows) * g.edge;
    fn(i0, j0, std::min(g.edge, m - i0), std::min(g.edge, n - j0));
  });
}

}  // namespace

void split_gemm(gemm_kernel kernel, std::int32_t m, std::int32_t n, std::int32_t k, operand a, operand b, float* c,
                std::ptrdiff_t ldc, gemm_mode mode) noexcept {
  const grid g = tiling(m, n, k);
  if (g.edge == 0) {
    kernel(m, n, k, a, b, c, ldc, mode);
    return;
  }
  for_tiles(g, m, n, [&](std::int32_t i0, std::int32_t j0, std::int32_t h, std::int32_t w) {
    kernel(h, w, k, operand{a.data + i0 * a.row_stride, a.row_stride, a.col_stride},
           operand{b.data + j0 * b.col_stride, b.row_stride, b.col_stride}, c + i0 + j0 * ldc, ldc, mode);
  });
}

void split_prod_mat(const kernel_table& table, const float* a, const float* b, float* c, std::int32_t m, std::int32_t p,
                    std::int32_t n) noexcept {
  const grid g = tiling(m, n, p);
  if (g.edge == 0) {
    table.prod_mat(a, b, c, m, p, n);
    return;
  }
  // A tile of c has the leading dimension of the whole: the general product.
  for_tiles(g, m, n, [&](std::int32_t i0, std::int32_t j0, std::int32_t h, std::int32_t w) {
    table.gemm(h, w, p, operand{a + i0, 1, m}, operand{b + static_cast<std::ptrdiff_t>(j0) * p, 1, p},
               c + i0 + static_cast<std::ptrdiff_t>(j0) * m, m, gemm_mode::assign);
  });
}

void split_prod_vec(const kernel_table& table, const float* a, const float* x, float* y, std::int32_t rows,
                    std::int32_t cols) noexcept {
  const grid g = tiling(rows, 1, cols);
  if (g.edge == 0) {
    table.prod_vec(a, x, y, rows, cols);
    return;
  }
  // A stretch of rows of a keeps the leading dimension of the whole.
  for_tiles(g, rows, 1, [&](std::int32_t i0, std::int32_t, std::int32_t h, std::int32_t) {
    table.gemm(h, 1, cols, operand{a + i0, 1, rows}, operand{x, 1, cols}, y + i0, h, gemm_mode::assign);
  });
}

void split_prod_vec_left(const kernel_table& table, const float* x, const float* a, std::ptrdiff_t lda, float* y,
                         std::int32_t rows, std::int32_t cols) noexcept {
  const grid g = tiling(1, cols, rows);
  if (g.edge == 0) {
    table.prod_vec_left(x, a, lda, y, rows, cols);
    return;
  }
  for_tiles(g, 1, cols, [&](std::int32_t, std::int32_t j0, std::int32_t, std::int32_t w) {
    table.prod_vec_left(x, a + static_cast<std::ptrdiff_t>(j0) * lda, lda, y + j0, rows, w);
  });
}

std::int32_t column_block_width(std::int32_t cols, std::int64_t work, std::int32_t granule) noexcept {
  if (cols < 2 || threads::count() <= 1) return 0;
  const std::int32_t forced = test_edge.load(std::memory_order_relaxed);
  if (forced > 0) return forced < cols ? forced : 0;
  const auto round_up = [&](std::int64_t w) { return (w + granule - 1) / granule * granule; };
  // At least kTileWork per block, and no more blocks than kEnoughTiles
  // unless they are that large anyway.
  const std::int64_t per_column = std::max<std::int64_t>(1, work / cols);
  const std::int64_t width =
      std::max(round_up((cols + kEnoughTiles - 1) / kEnoughTiles), round_up((kTileWork + per_column - 1) / per_column));
  return width < cols ? static_cast<std::int32_t>(width) : 0;
}

namespace testing {

void set_tile_edge(std::int32_t edge) noexcept { test_edge.store(std::max(edge, 0), std::memory_order_relaxed); }

}  // namespace testing

}  // namespace orvik::kernels
