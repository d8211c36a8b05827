// Records and storage under faults: allocations the system refuses, and
// records whose storage was broken by hand.

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/records.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

// Address-space limits do not work under these sanitizers (their shadow
// memory alone exceeds any useful limit).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVIK_NO_ADDRESS_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define ORVIK_NO_ADDRESS_LIMIT 1
#endif
#endif

namespace {

using orvik::t_matrix;
using orvik::t_vector;
using orvik::test::stop_case;

#ifdef ORVIK_NO_ADDRESS_LIMIT
TEST(HardenedAllocation, ARefusalIsTheOperationsAllocationError) {
  GTEST_SKIP() << "address-space limits do not work under this sanitizer";
}
#else
// Leaves `headroom` bytes of address space above what the process maps now.
void cap_address_space(std::size_t headroom) {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(77);
  std::fclose(statm);
  const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
  const rlimit r{limit, limit};
  if (setrlimit(RLIMIT_AS, &r) != 0) std::_Exit(77);
}

constexpr std::int32_t n = 3000;                                         // 36 MB of elements
constexpr std::size_t copy_bytes = std::size_t{n} * std::size_t{n} * 4;  // one copy of them
constexpr std::size_t slack = std::size_t{16} << 20;                     // for the error path

struct refusal {
  std::string what;
  std::size_t headroom;
  std::function<void()> body;
  std::string message;
};

// A refused allocation is the operation's own error 2001 (the exact line and
// status 1), and under the raising mode orvik::error, never std::bad_alloc.
TEST(HardenedAllocation, ARefusalIsTheOperationsAllocationError) {
  const t_matrix a = orvik::test::random_matrix(n, n, 11);
  t_vector big;
  big.size = n * n;
  big.elements.assign(copy_bytes / 4, 1.0f);
  big.allocated = true;
  const std::vector<refusal> cases = {
      {"m_permut", slack, [&] { orvik::m_permut(a, true); }, "m_permut::allocate error"},
      {"m_permut_col", slack, [&] { orvik::m_permut_col(a); }, "m_permut_col::allocate error"},
      {"m_decompcholesky", copy_bytes + slack, [&] { orvik::m_decompcholesky(a); }, "m_decompCholesky::allocate error"},
      {"m_det_gaussj", slack, [&] { orvik::m_det_gaussj(a); }, "m_det_gaussj::allocate error"},
      {"m_rank_gaussj", slack, [&] { orvik::m_rank_gaussj(a); }, "m_rank_gaussj::allocate error"},
      {"m_eig_qr", slack, [&] { orvik::m_eig_qr(a, 1); }, "m_eig_qr::allocate error"},
      {"m_eig_deflation", slack, [&] { orvik::m_eig_deflation(a); }, "m_eig_deflation::allocate error"},
      {"m_extract", slack, [&] { orvik::m_extract(a, 1, n, 1, n); }, "m_init::allocate error"},
      {"m_get_m", slack, [&] { orvik::m_get_m(a); }, "m_get_m::allocate error"},
      {"v_add_val_end", slack, [&] { orvik::v_add_val_end(big, 2.0f); }, "v_add_val_end::vector allocate error"},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    const orvik::test::child_result stopped = orvik::test::run_in_child([&] {
      cap_address_space(c.headroom);
      c.body();
    });
    EXPECT_EQ(stopped.exit_code, 1);
    EXPECT_EQ(stopped.out, orvik::test::error_line(2001, c.message));
    const orvik::test::child_result raised = orvik::test::run_in_child([&] {
      cap_address_space(c.headroom);
      orvik::raising_scope raising;
      try {
        c.body();
      } catch (const orvik::error& e) {
        const bool own = e.exception().number == 2001 &&
                         orvik::e_error_line(e.exception()) + "\n" == orvik::test::error_line(2001, c.message);
        std::_Exit(own ? 42 : 43);
      } catch (const std::bad_alloc&) {
        std::_Exit(44);
      }
    });
    EXPECT_EQ(raised.exit_code, 42);
  }
  // A refused append leaves the vector as it was.
  const orvik::test::child_result kept = orvik::test::run_in_child([&] {
    cap_address_space(slack);
    orvik::raising_scope raising;
    try {
      orvik::v_add_val_end(big, 2.0f);
    } catch (const orvik::error&) {
      std::_Exit(orvik::v_size(big) == n * n && orvik::v_get(big, n * n) == 1.0f ? 42 : 43);
    }
  });
  EXPECT_EQ(kept.exit_code, 42);
}
#endif

// Records are plain structs; one marked allocated whose storage does not
// hold its elements is refused as not allocated before any element is read.
TEST(HardenedRecords, StorageThatDoesNotMatchTheSizesIsNotAllocated) {
  auto broken = [](std::int32_t rows, std::int32_t cols, std::size_t held) {
    t_matrix m;
    m.rows = rows;
    m.cols = cols;
    m.elements.assign(held, 1.0f);
    m.allocated = true;
    return m;
  };
  t_vector short_vector;
  short_vector.size = 5;
  short_vector.elements.assign(2, 1.0f);
  short_vector.allocated = true;
  const t_matrix good = orvik::test::matrix_of(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10});
  const t_vector good_vector = orvik::test::vector_of({1, 2, 3});
  orvik::test::expect_stops({
      {"m_getsize 65536 x 65536", [&] { orvik::m_getsize(broken(65536, 65536, 0)); }, 2001,
       "m_getSize::matrix not allocated"},
      {"m_getsizerows short", [&] { orvik::m_getsizerows(broken(3, 3, 4)); }, 2001,
       "m_getSizeRows::matrix not allocated"},
      {"m_get negative shape", [&] { orvik::m_get(broken(-1, -1, 1), 1, 1); }, 2001, "m_get::matrix not allocated"},
      {"m_print", [&] { orvik::m_print(broken(2, 2, 0)); }, 2001, "matrix not allocated"},
      {"m_prod_mat", [&] { orvik::m_prod_mat(good, broken(3, 3, 8)); }, 2001, "m_prod_mat::matrix not allocated"},
      {"m_setsub",
       [&] {
         t_matrix m = good;
         orvik::m_setsub(m, broken(3, 3, 0));
       },
       2001, "m_setsub::matrix not allocated"},
      {"m_permut", [&] { orvik::m_permut(broken(4, 4, 3), true); }, 2001, "m_permut::matrix not allocated"},
      {"m_prod_vec_c", [&] { orvik::m_prod_vec_c(good, short_vector); }, 2001, "m_prod_vec_c::matrix not allocated"},
      {"m_solve b", [&] { orvik::m_solve(good, short_vector); }, 2001, "m_solve::vector not allocated"},
      {"m_lstsq B", [&] { orvik::m_lstsq(good, broken(3, 1, 2)); }, 2001, "m_lstsq::matrix not allocated"},
      {"v_get", [&] { orvik::v_get(short_vector, 4); }, 2001, "v_get::vector not allocated"},
      {"v_dot", [&] { orvik::v_dot(good_vector, short_vector); }, 2001, "v_dot::vector not allocated"},
  });
  // Storage that matches, the empty shapes included, is still accepted.
  EXPECT_EQ(orvik::m_getsize(orvik::m_zeros(0, 7)), 0);
  EXPECT_EQ(orvik::m_getsize(good), 9);
}

}  // namespace
