// The per-thread store of large work buffers: a buffer taken again holds
// zeros (or the copy) whatever its last user left in it, nested buffers are
// distinct, and results are the same with a warm store as with a cold one.

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include "matrix/matrix_internal.hpp"
#include "support/generators.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace orvik {
namespace {

TEST(KeptBuffers, TakenAgainTheyHoldZerosOrTheCopyAndNestedOnesAreDistinct) {
  const std::vector<float> source(1000, 2.5f);
  const float* first = nullptr;
  {
    detail::kept_buffer a(4099, "test::allocate error");
    first = a.get().data();
    std::fill(a.get().begin(), a.get().end(), -7.0f);
  }
  {
    detail::kept_buffer b(4099, "test::allocate error");
    EXPECT_EQ(b.get().data(), first);  // the kept storage, reused
    ASSERT_EQ(b.get().size(), 4099u);
    EXPECT_TRUE(std::all_of(b.get().begin(), b.get().end(), [](float x) { return x == 0.0f; }));
    detail::kept_buffer c(source, "test::allocate error");
    EXPECT_NE(c.get().data(), b.get().data());
    EXPECT_EQ(c.get(), source);
    std::fill(b.get().begin(), b.get().end(), 9.0f);
  }
  detail::kept_buffer d(source, "test::allocate error");
  EXPECT_EQ(d.get(), source);
  detail::kept_buffer empty(0, "test::allocate error");
  EXPECT_TRUE(empty.get().empty());
}

TEST(KeptBuffers, AFullStoreKeepsTheLargerBuffers) {
  {
    // Fill the store with small buffers, then return a larger one.
    std::vector<std::unique_ptr<detail::kept_buffer>> small;
    small.reserve(8);
    for (int i = 0; i < 8; ++i) small.push_back(std::make_unique<detail::kept_buffer>(100, "test::allocate error"));
  }
  { detail::kept_buffer big(50000, "test::allocate error"); }
  // A smaller request is served from the kept one (a fresh buffer would be
  // only as large as asked).
  detail::kept_buffer again(40000, "test::allocate error");
  EXPECT_EQ(again.get().capacity(), 50000u);
  EXPECT_EQ(again.get().size(), 40000u);
}

TEST(KeptBuffers, WarmAndColdStoresGiveTheSameBits) {
  const t_matrix a = m_add(test::random_matrix(150, 150, 3), m_trans(test::random_matrix(150, 150, 3)));
  const auto bits_of = [](const t_eig& e) {
    std::vector<std::uint32_t> out;
    for (const float x : e.eigvals.elements) out.push_back(std::bit_cast<std::uint32_t>(x));
    for (const float x : e.eigvecs.elements) out.push_back(std::bit_cast<std::uint32_t>(x));
    return out;
  };
  std::vector<std::uint32_t> cold;
  std::thread([&] { cold = bits_of(m_eig_sym(a)); }).join();
  const auto warm_once = bits_of(m_eig_sym(a));
  const auto warm_twice = bits_of(m_eig_sym(a));
  EXPECT_EQ(cold, warm_once);
  EXPECT_EQ(cold, warm_twice);
}

}  // namespace
}  // namespace orvik
