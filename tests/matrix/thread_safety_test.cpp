// Several threads using the library at once: every thread keeps its own
// remembered sizes and bounds, random sequence, message buffers and raising
// mode, and gets the same bits as the same calls made alone.

#include "support/child.hpp"

#include <gtest/gtest.h>
#include <orvik/decompositions.hpp>
#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <atomic>
#include <bit>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace orvik {
namespace {

// Everything a run observes, as bits.
using trace = std::vector<std::uint32_t>;

void record(trace& t, float x) { t.push_back(std::bit_cast<std::uint32_t>(x)); }
void record(trace& t, std::int32_t x) { t.push_back(static_cast<std::uint32_t>(x)); }
void record(trace& t, const t_matrix& m) {
  record(t, m.rows);
  record(t, m.cols);
  for (const float x : m.elements) record(t, x);
}
void record(trace& t, const t_vector& v) {
  record(t, v.size);
  for (const float x : v.elements) record(t, x);
}

// A mixed sequence whose results depend on the thread's remembered state:
// sizes and bounds given once and then omitted, the random sequence, the
// message buffer of a failed check, and the raising mode.
trace workload(std::int32_t id, std::int32_t rounds) {
  trace t;
  for (std::int32_t round = 0; round < rounds; ++round) {
    const std::int32_t n = 3 + (id + round) % 5;
    t_matrix a;
    m_init(a, n, n);
    t_matrix b;
    m_init(b);  // the sizes just given
    record(t, b);
    // The sequence-continuing generators (the clock-seeded fillers differ
    // from run to run by design).
    mc_diagdominant(a, n, -1.0f, 1.0f);
    mc_diagdominantsymmetric(b, n, 0.0f, 2.0f);
    record(t, a);
    record(t, b);
    const t_matrix corner = m_extract(a, 1, 2, 1, n);
    const t_matrix again = m_extract(a);  // the bounds just given
    record(t, corner);
    record(t, again);
    t_vector x;
    v_init(x, n);
    for (std::int32_t i = 1; i <= n; ++i) v_set(x, i, m_get(b, i, 1));
    const t_vector head = v_extract(x, 1, 2);
    record(t, v_extract(x));
    record(t, head);
    record(t, v_norm(x, 3));

    t_matrix s = m_prod_mat(a, m_trans(a));
    for (std::int32_t i = 1; i <= n; ++i) m_set(s, i, i, m_get(s, i, i) + static_cast<float>(n));
    record(t, s);
    record(t, m_decompcholesky(s).M);
    record(t, m_solve(s, x));
    record(t, m_det(s));
    record(t, m_inverse_gaussj(s));
    record(t, m_decomplu(s).U);

    {
      const raising_scope raising;
      try {
        m_get(a, n + 1, 1);
        ADD_FAILURE() << "no stop";
      } catch (const error& e) {
        record(t, e.exception().number);
      }
      for (const char c : m_what_exception) record(t, static_cast<std::int32_t>(c));
    }
    record(t, static_cast<std::int32_t>(raising_enabled()));
    t_matrix last;
    m_init(last);  // whatever the calls above left remembered
    record(t, last.rows);
    record(t, last.cols);
  }
  return t;
}

// Each run starts from a new thread's state, the defaults.
trace run_alone(std::int32_t id, std::int32_t rounds) {
  trace t;
  std::thread worker([&] { t = workload(id, rounds); });
  worker.join();
  return t;
}

TEST(ThreadSafety, ConcurrentRunsGiveTheBitsOfRunsAlone) {
  constexpr std::int32_t threads = 4;
  constexpr std::int32_t rounds = 20;
  std::vector<trace> alone;
  alone.reserve(threads);
  for (std::int32_t id = 0; id < threads; ++id) alone.push_back(run_alone(id, rounds));

  std::vector<trace> together(threads);
  std::atomic<std::int32_t> ready{0};
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (std::int32_t id = 0; id < threads; ++id) {
    workers.emplace_back([&, id] {
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();
      together[static_cast<std::size_t>(id)] = workload(id, rounds);
    });
  }
  for (auto& w : workers) w.join();
  for (std::int32_t id = 0; id < threads; ++id) EXPECT_EQ(together[static_cast<std::size_t>(id)], alone[id]) << id;
}

TEST(ThreadSafety, StateIsPerThread) {
  // The first draw of a thread that has drawn nothing yet.
  float first_draw = 0.0f;
  std::thread fresh([&] {
    t_matrix r;
    mc_diagdominant(r, 2, -1.0f, 1.0f);
    first_draw = r.elements[1];
  });
  fresh.join();
  // This thread draws and remembers sizes of its own first.
  t_matrix mine;
  mc_diagdominant(mine, 3, -1.0f, 1.0f);
  m_init(mine, 7, 3);
  t_vector v;
  v_init(v, 9);
  const raising_scope raising;
  std::thread other([&] {
    // A new thread starts from the defaults, whatever this one did.
    EXPECT_FALSE(raising_enabled());
    t_matrix m;
    m_init(m);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 2);
    t_vector w;
    v_init(w);
    EXPECT_EQ(w.size, 2);
    t_matrix r;
    mc_diagdominant(r, 2, -1.0f, 1.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r.elements[1]), std::bit_cast<std::uint32_t>(first_draw));
    m_init(m, 4, 5);
  });
  other.join();
  EXPECT_TRUE(raising_enabled());
  t_matrix m;
  m_init(m);
  EXPECT_EQ(m.rows, 7);
  EXPECT_EQ(m.cols, 3);
}

// Checks failing on several threads at once: one whole line, status 1, even
// while another thread has the raising mode on.
TEST(ThreadSafety, SimultaneousStopsWriteOneWholeLine) {
  const test::child_result r = test::run_in_child([] {
    constexpr std::int32_t threads = 6;
    std::atomic<std::int32_t> ready{0};
    std::vector<std::thread> workers;
    workers.emplace_back([&] {
      const raising_scope raising;
      ready.fetch_add(1);
      for (;;) std::this_thread::yield();
    });
    for (std::int32_t k = 1; k < threads; ++k) {
      workers.emplace_back([&, k] {
        t_matrix m;
        m_init(m, 2, 2);
        t_vector v;
        v_init(v, 2);
        ready.fetch_add(1);
        while (ready.load() < threads) std::this_thread::yield();
        if (k % 2 == 0) {
          m_get(m, 3, 1);
        } else {
          v_get(v, 3);
        }
      });
    }
    for (auto& w : workers) w.join();
  });
  EXPECT_EQ(r.exit_code, 1);
  const std::string m_line = test::error_line(201, "m_get::matrix index nil or negative");
  const std::string v_line = test::error_line(201, "v_get::vector size nil or negative");
  EXPECT_TRUE(r.out == m_line || r.out == v_line) << r.out;
}

}  // namespace
}  // namespace orvik
