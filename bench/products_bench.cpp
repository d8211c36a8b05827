// Timings of the product kernels and of the operations built on them.

#include "kernels/kernels.hpp"

#include <benchmark/benchmark.h>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <cstdint>
#include <random>
#include <vector>

namespace {

std::vector<float> random_values(std::size_t count, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> out(count);
  for (float& x : out) x = value(gen);
  return out;
}

orvik::t_matrix random_matrix(std::int32_t rows, std::int32_t cols, unsigned seed) {
  orvik::t_matrix m = orvik::m_zeros(rows, cols);
  m.elements = random_values(m.elements.size(), seed);
  return m;
}

orvik::t_vector random_vector(std::int32_t n, unsigned seed) {
  orvik::t_vector v = orvik::v_zeros(n);
  v.elements = random_values(static_cast<std::size_t>(n), seed);
  return v;
}

void set_flops(benchmark::State& state, double per_iteration) {
  state.counters["flops"] =
      benchmark::Counter(per_iteration, benchmark::Counter::kIsIterationInvariantRate, benchmark::Counter::kIs1000);
}

void kernel_prod_mat(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const auto a = random_values(static_cast<std::size_t>(n) * n, 1);
  const auto b = random_values(static_cast<std::size_t>(n) * n, 2);
  std::vector<float> c(static_cast<std::size_t>(n) * n);
  for (auto _ : state) {
    orvik::kernels::prod_mat(a.data(), b.data(), c.data(), n, n, n);
    benchmark::DoNotOptimize(c.data());
    benchmark::ClobberMemory();
  }
  set_flops(state, 2.0 * n * n * n);
}
BENCHMARK(kernel_prod_mat)->RangeMultiplier(2)->Range(8, 256);

template <void (*Kernel)(const float*, const float*, float*, std::int32_t, std::int32_t) noexcept>
void kernel_prod_vec(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const auto a = random_values(static_cast<std::size_t>(n) * n, 3);
  const auto x = random_values(static_cast<std::size_t>(n), 4);
  std::vector<float> y(static_cast<std::size_t>(n));
  for (auto _ : state) {
    Kernel(a.data(), x.data(), y.data(), n, n);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  set_flops(state, 2.0 * n * n);
}
BENCHMARK(kernel_prod_vec<orvik::kernels::prod_vec>)->RangeMultiplier(4)->Range(16, 1024);

void kernel_prod_vec_left(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const auto a = random_values(static_cast<std::size_t>(n) * n, 5);
  const auto x = random_values(static_cast<std::size_t>(n), 6);
  std::vector<float> y(static_cast<std::size_t>(n));
  for (auto _ : state) {
    orvik::kernels::prod_vec_left(x.data(), a.data(), y.data(), n, n);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  set_flops(state, 2.0 * n * n);
}
BENCHMARK(kernel_prod_vec_left)->RangeMultiplier(4)->Range(16, 1024);

void m_prod_mat(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const orvik::t_matrix a = random_matrix(n, n, 7);
  const orvik::t_matrix b = random_matrix(n, n, 8);
  for (auto _ : state) {
    orvik::t_matrix c = orvik::m_prod_mat(a, b);
    benchmark::DoNotOptimize(c.elements.data());
  }
  set_flops(state, 2.0 * n * n * n);
}
BENCHMARK(m_prod_mat)->RangeMultiplier(4)->Range(4, 256);

void m_prod_vec1(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const orvik::t_matrix a = random_matrix(n, n, 9);
  const orvik::t_vector x = random_vector(n, 10);
  for (auto _ : state) {
    orvik::t_vector y = orvik::m_prod_vec1(a, x);
    benchmark::DoNotOptimize(y.elements.data());
  }
  set_flops(state, 2.0 * n * n);
}
BENCHMARK(m_prod_vec1)->RangeMultiplier(4)->Range(4, 1024);

}  // namespace
