// Vector arithmetic and reductions: the failure table, the documented edge
// cases and the rounding paths (fused running sums, the integer power of
// v_norm, the wide sum).

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/vector.hpp>

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/records.hpp"

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using orvik::t_vector;

using orvik::test::bits_of;
using orvik::test::random_values;
using orvik::test::vector_of;

constexpr float big = std::numeric_limits<float>::max();

TEST(VectorArithmetic, FailureTable) {
  const t_vector none;
  const t_vector two = vector_of({1, 2});
  const t_vector three = vector_of({1, 2, 3});
  const std::string na = "::vector not allocated";
  const std::vector<orvik::test::stop_case> cases = {
      {"isequal_scalar", [&] { orvik::v_isequal_scalar(none, 1); }, 2001, "v_isEqual_scalar" + na},
      {"isequal x", [&] { orvik::v_isequal(none, two); }, 2001, "v_isEqual" + na},
      {"isequal y", [&] { orvik::v_isequal(two, none); }, 2001, "v_isEqual" + na},
      {"isequal size", [&] { orvik::v_isequal(two, three); }, 202, "v_isEqual::vectors are not the same size"},
      {"cross alloc", [&] { orvik::v_cross(three, none); }, 2001, "v_cross" + na},
      {"cross size", [&] { orvik::v_cross(two, two); }, 202,
       "v_cross::vectors have not the same size or are not 3-dimensional vectors"},
      {"cross mixed", [&] { orvik::v_cross(three, two); }, 202,
       "v_cross::vectors have not the same size or are not 3-dimensional vectors"},
      {"dot alloc", [&] { orvik::v_dot(none, two); }, 2001, "v_dot" + na},
      {"dot size", [&] { orvik::v_dot(three, two); }, 202, "v_dot::vectors are not the same size"},
      {"norm", [&] { orvik::v_norm(none); }, 2001, "v_norm" + na},
      {"length", [&] { orvik::v_length(none); }, 2001, "v_length" + na},
      {"sqrlength", [&] { orvik::v_sqrlength(none); }, 2001, "v_sqrLength" + na},
      {"normalize",
       [&] {
         t_vector v;
         orvik::v_normalize(v);
       },
       2001, "v_normalize" + na},
      {"axpby x", [&] { orvik::v_axpby(1, none, 1, two); }, 2001, "v_axpby" + na},
      {"axpby x alone", [&] { orvik::v_axpby(1, none); }, 2001, "v_axpby" + na},
      {"axpby y", [&] { orvik::v_axpby(1, two, 1, none); }, 2001, "v_axpby" + na},
      {"axpby size", [&] { orvik::v_axpby(1, two, 1, three); }, 202, "v_axpby::vector must have the same size"},
      {"axpby y without b", [&] { orvik::v_axpby(1, two, std::nullopt, none); }, 2001, "v_axpby" + na},
      {"axpby size without b", [&] { orvik::v_axpby(1, two, std::nullopt, three); }, 202,
       "v_axpby::vector must have the same size"},
      {"minus alloc", [&] { orvik::v_minus(none, two); }, 2001, "v_minus" + na},
      {"minus size", [&] { orvik::v_minus(two, three); }, 202, "v_minus::vectors are not the same size"},
      {"add alloc", [&] { orvik::v_add(two, none); }, 2001, "v_add" + na},
      {"add size", [&] { orvik::v_add(three, two); }, 202, "v_add::vectors are not the same size"},
      {"div alloc", [&] { orvik::v_div_scalar(none, 2); }, 2001, "v_div_scalar" + na},
      {"div zero", [&] { orvik::v_div_scalar(two, 0.0f); }, 101, "v_div_scalar::can not divide by zero"},
      {"div minus zero", [&] { orvik::v_div_scalar(two, -0.0f); }, 101, "v_div_scalar::can not divide by zero"},
      {"scalar2", [&] { orvik::v_prod_scalar2(2, none); }, 2001, "v_prod_scalar2" + na},
      {"scalar1", [&] { orvik::v_prod_scalar1(none, 2); }, 2001, "v_prod_scalar1" + na},
      {"prod_vec alloc", [&] { orvik::v_prod_vec(none, none); }, 2001, "v_prod_vec" + na},
      {"prod_vec size", [&] { orvik::v_prod_vec(two, three); }, 202, "v_prod_vec::vector must have the same size"},
      {"inverse alloc", [&] { orvik::v_inverse(none); }, 2001, "v_inverse" + na},
      {"inverse zero",
       [&] {
         orvik::v_inverse(vector_of({1, 0, 2}));
       },
       2001, "v_inverse::one of vector element is null"},
      {"inverse minus zero", [&] { orvik::v_inverse(vector_of({-0.0f})); }, 2001,
       "v_inverse::one of vector element is null"},
      {"prod", [&] { orvik::v_prod(none); }, 2001, "v_prod" + na},
      {"sum", [&] { orvik::v_sum(none); }, 2001, "v_sum" + na},
      {"abs", [&] { orvik::v_abs(none); }, 2001, "v_abs" + na},
      {"min", [&] { orvik::v_min(none); }, 2001, "v_min" + na},
      {"max", [&] { orvik::v_max(none); }, 2001, "v_max" + na},
      {"nbzeros", [&] { orvik::v_nbzeros(none); }, 2001, "v_nbzeros" + na},
      {"nbpositive", [&] { orvik::v_nbpositive(none); }, 2001, "v_nbpositive" + na},
      {"nbnegative", [&] { orvik::v_nbnegative(none); }, 2001, "v_nbnegative" + na},
      // Results made through v_init of an empty operand stop there.
      {"empty result", [&] { orvik::v_add(orvik::v_zeros(0), orvik::v_zeros(0)); }, 201,
       "v_init::positive size expected"},
  };
  orvik::test::expect_stops(cases);
}

TEST(VectorArithmetic, Elementwise) {
  orvik::raising_scope guard;
  const t_vector x = vector_of({1, -2, 3});
  const t_vector y = vector_of({0.5f, 4, -1});
  EXPECT_EQ(orvik::v_add(x, y).elements, (std::vector<float>{1.5f, 2, 2}));
  EXPECT_EQ(orvik::v_minus(x, y).elements, (std::vector<float>{0.5f, -6, 4}));
  EXPECT_EQ(orvik::v_prod_vec(x, y).elements, (std::vector<float>{0.5f, -8, -3}));
  EXPECT_EQ(orvik::v_prod_scalar1(x, -2).elements, (std::vector<float>{-2, 4, -6}));
  EXPECT_EQ(orvik::v_prod_scalar2(-2, x).elements, (std::vector<float>{-2, 4, -6}));
  EXPECT_EQ(orvik::v_div_scalar(x, 4).elements, (std::vector<float>{0.25f, -0.5f, 0.75f}));
  EXPECT_EQ(orvik::v_div_scalar(vector_of({1.0e30f}), 1.0e-30f).elements[0], INFINITY);
  EXPECT_TRUE(std::isnan(orvik::v_div_scalar(x, NAN).elements[0]));
  EXPECT_EQ(orvik::v_inverse(vector_of({2, -4})).elements, (std::vector<float>{0.5f, -0.25f}));
  EXPECT_EQ(orvik::v_inverse(vector_of({3})).elements[0], 1.0f / 3.0f);
  // Operands are left alone.
  EXPECT_EQ(x.elements, (std::vector<float>{1, -2, 3}));
}

TEST(VectorArithmetic, AxpbyAndCross) {
  orvik::raising_scope guard;
  const t_vector x = vector_of({1, 2});
  EXPECT_EQ(orvik::v_axpby(2, x, 3, vector_of({10, 20})).elements, (std::vector<float>{32, 64}));
  EXPECT_EQ(orvik::v_axpby(2, x).elements, (std::vector<float>{2, 4}));
  EXPECT_EQ(orvik::v_axpby(2, x, 3).elements, (std::vector<float>{2, 4}));
  // A given y without b is weighed by 1.0, never dropped.
  EXPECT_EQ(orvik::v_axpby(2, x, std::nullopt, vector_of({10, 20})).elements, (std::vector<float>{12, 24}));
  // Three roundings: a*x, b*y, then the sum (a fused step would keep 2^-24).
  const float a = 1.0f + 0x1.0p-12f;
  const float axpby = orvik::v_axpby(a, vector_of({a}), -1.0f, vector_of({1.0f})).elements[0];
  EXPECT_EQ(axpby, 0x1.0p-11f);

  EXPECT_EQ(orvik::v_cross(vector_of({1, 0, 0}), vector_of({0, 1, 0})).elements, (std::vector<float>{0, 0, 1}));
  EXPECT_EQ(orvik::v_cross(vector_of({1, 2, 3}), vector_of({4, 5, 6})).elements, (std::vector<float>{-3, 6, -3}));
  // Each product rounded before the difference: a*a - 1*1 loses the 2^-24.
  EXPECT_EQ(orvik::v_cross(vector_of({0, a, 1}), vector_of({0, 1, a})).elements[0], 0x1.0p-11f);
}

TEST(VectorArithmetic, RememberedSizeFollowsResults) {
  orvik::raising_scope guard;
  const t_vector six = orvik::v_ones(6);
  const t_vector sum = orvik::v_add(six, six);
  t_vector v;
  orvik::v_init(v);
  EXPECT_EQ(v.size, 6);
  // The cross product is not made through v_init.
  const t_vector c = orvik::v_cross(orvik::v_ones(3), orvik::v_ones(3));
  orvik::v_init(v);
  EXPECT_EQ(v.size, 6);
  const t_vector seven = orvik::v_axpby(1, orvik::v_ones(7), 2, orvik::v_ones(7));
  orvik::v_init(v);
  EXPECT_EQ(v.size, 7);
}

TEST(VectorArithmetic, Normalize) {
  orvik::raising_scope guard;
  t_vector v = vector_of({3, 4});
  orvik::v_normalize(v);
  EXPECT_EQ(v.elements, (std::vector<float>{0.6f, 0.8f}));
  t_vector zero = vector_of({0, 0});
  orvik::v_normalize(zero);
  EXPECT_TRUE(std::isnan(zero.elements[0]));
  EXPECT_TRUE(std::isnan(zero.elements[1]));
}

TEST(VectorReductions, FusedRunningSums) {
  orvik::raising_scope guard;
  // 1*(-1) then a*a: fused, the product keeps its 2^-24; unfused it is lost.
  const float a = 1.0f + 0x1.0p-12f;
  EXPECT_EQ(orvik::v_dot(vector_of({1, a}), vector_of({-1, a})), 0x1.0p-11f + 0x1.0p-24f);

  // Against plain fused loops, and v_length / v_sqrlength on them.
  std::mt19937 gen(7);
  int fused_differs = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const auto n = static_cast<std::size_t>(trial % 17);
    const std::vector<float> x = random_values(gen, n);
    const std::vector<float> y = random_values(gen, n);
    float fused = 0.0f;
    float squares = 0.0f;
    float unfused = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
      fused = std::fma(x[i], y[i], fused);
      squares = std::fma(x[i], x[i], squares);
      const float product = x[i] * x[i];
      unfused = unfused + product;
    }
    ASSERT_EQ(bits_of({orvik::v_dot(vector_of(x), vector_of(y))}), bits_of({fused}));
    ASSERT_EQ(bits_of({orvik::v_sqrlength(vector_of(x))}), bits_of({squares}));
    ASSERT_EQ(bits_of({orvik::v_length(vector_of(x))}), bits_of({std::sqrt(squares)}));
    fused_differs += squares != unfused ? 1 : 0;
  }
  EXPECT_GT(fused_differs, 0);
}

TEST(VectorReductions, NormRaisesToAnIntegerPower) {
  orvik::raising_scope guard;
  const t_vector v = vector_of({3, -4});
  EXPECT_EQ(orvik::v_norm(v), 5.0f);
  EXPECT_EQ(orvik::v_norm(v, 2), 5.0f);
  EXPECT_EQ(orvik::v_norm(v, 1), 7.0f);
  EXPECT_EQ(orvik::v_norm(v, 0), 4.0f);
  EXPECT_TRUE(std::isnan(orvik::v_norm(vector_of({NAN, -2}))));
  EXPECT_EQ(orvik::v_norm(vector_of({NAN, -2}), 0), 2.0f);
  EXPECT_EQ(orvik::v_norm(vector_of({-INFINITY}), 0), INFINITY);

  // Against a plain loop: each power by repeated rounded products, each
  // addition rounded, then the float power 1/p.
  std::mt19937 gen(11);
  int differs_from_length = 0;
  for (int trial = 0; trial < 100; ++trial) {
    const std::vector<float> x = random_values(gen, 1 + trial % 9);
    for (int p : {2, 3, -1, -2, 5}) {
      float s = 0.0f;
      for (float e : x) {
        float r = 1.0f;
        for (int k = 0; k < std::abs(p); ++k) r = r * std::fabs(e);
        if (p < 0) r = 1.0f / r;
        s = s + r;
      }
      const float expected = std::pow(s, 1.0f / static_cast<float>(p));
      ASSERT_EQ(bits_of({orvik::v_norm(vector_of(x), p)}), bits_of({expected})) << "p = " << p;
    }
    differs_from_length += orvik::v_norm(vector_of(x)) != orvik::v_length(vector_of(x)) ? 1 : 0;
  }
  EXPECT_GT(differs_from_length, 0);

  // Huge powers end quickly and keep their exact values.
  EXPECT_EQ(orvik::v_norm(vector_of({1, 1}), std::numeric_limits<std::int32_t>::max()),
            std::pow(2.0f, 1.0f / 2147483647.0f));
  EXPECT_EQ(orvik::v_norm(vector_of({2, 0.5f}), std::numeric_limits<std::int32_t>::max()), INFINITY);
  EXPECT_EQ(orvik::v_norm(vector_of({1}), std::numeric_limits<std::int32_t>::min()), 1.0f);
}

TEST(VectorReductions, SumProductExtremesCounts) {
  orvik::raising_scope guard;
  // The wide running sum keeps what a float sum would lose.
  EXPECT_EQ(orvik::v_sum(vector_of({16777216.0f, 1, 1})), 16777218.0f);
  EXPECT_EQ(orvik::v_sum(vector_of({1.0e8f, 1, -1.0e8f})), 1.0f);
  EXPECT_EQ(orvik::v_prod(vector_of({2, 3, 4})), 24.0f);
  EXPECT_EQ(orvik::v_abs(vector_of({-5, 3, -2})), 2.0f);
  EXPECT_EQ(orvik::v_min(vector_of({NAN, 3, -2, NAN})), -2.0f);
  EXPECT_EQ(orvik::v_max(vector_of({NAN, 3, -2})), 3.0f);
  EXPECT_EQ(orvik::v_min(vector_of({INFINITY})), big);
  EXPECT_EQ(orvik::v_max(vector_of({-INFINITY})), -big);
  EXPECT_EQ(orvik::v_min(vector_of({-INFINITY, 1})), -INFINITY);

  const t_vector mixed = vector_of({0.0f, -0.0f, 1, -1, NAN, 2, INFINITY});
  EXPECT_EQ(orvik::v_nbzeros(mixed), 2);
  EXPECT_EQ(orvik::v_nbpositive(mixed), 3);
  EXPECT_EQ(orvik::v_nbnegative(mixed), 1);

  const t_vector empty = orvik::v_zeros(0);
  EXPECT_EQ(orvik::v_norm(empty, 0), -big);
  EXPECT_EQ(orvik::v_sum(empty), 0.0f);
  EXPECT_EQ(orvik::v_prod(empty), 1.0f);
  EXPECT_EQ(orvik::v_abs(empty), 0.0f);
  EXPECT_EQ(orvik::v_min(empty), big);
  EXPECT_EQ(orvik::v_max(empty), -big);
  EXPECT_EQ(orvik::v_nbzeros(empty) + orvik::v_nbpositive(empty) + orvik::v_nbnegative(empty), 0);
  EXPECT_TRUE(orvik::v_isequal(empty, empty));
  EXPECT_TRUE(orvik::v_isequal_scalar(empty, NAN));
  EXPECT_EQ(orvik::v_dot(empty, empty), 0.0f);
}

TEST(VectorReductions, ExactEquality) {
  orvik::raising_scope guard;
  const t_vector with_nan = vector_of({1, NAN});
  EXPECT_FALSE(orvik::v_isequal(with_nan, with_nan));
  EXPECT_TRUE(orvik::v_isequal(vector_of({1, 0.0f}), vector_of({1, -0.0f})));
  EXPECT_FALSE(orvik::v_isequal(vector_of({1, 2}), vector_of({1, std::nextafter(2.0f, 3.0f)})));
  EXPECT_TRUE(orvik::v_isequal_scalar(vector_of({0.0f, -0.0f}), 0.0f));
  EXPECT_FALSE(orvik::v_isequal_scalar(vector_of({NAN}), NAN));
  EXPECT_FALSE(orvik::v_isequal_scalar(vector_of({3, 3, 3.0000002f}), 3));
}

}  // namespace
