// The vector record: remembered defaults, storage, element access,
// extraction, append, the random filler and the text file reader.

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/vector.hpp>

#include "maths/random_source.hpp"
#include "support/child.hpp"
#include "support/temp_files.hpp"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using orvik::test::stop_case;

using orvik::t_vector;

t_vector vec(std::vector<float> values) {
  t_vector v;
  orvik::v_init(v, static_cast<std::int32_t>(values.size()));
  v.elements = std::move(values);
  return v;
}

// The remembered defaults are process-wide, so their initial values are
// captured before any test can move them.
struct initial_defaults {
  t_vector from_init;
  t_vector from_extract;
  initial_defaults() {
    orvik::v_init(from_init);
    const t_vector source = orvik::v_ones(4);
    from_extract = orvik::v_extract(source);
  }
};
const initial_defaults initial;

// A record that claims storage it does not have: the only way to reach the
// release failure.
t_vector claims_storage() {
  t_vector v;
  v.allocated = true;
  return v;
}

constexpr std::int32_t too_many = 536870912;

TEST(VectorRecord, InitialDefaults) {
  EXPECT_EQ(initial.from_init.size, 2);
  EXPECT_EQ(initial.from_init.elements, (std::vector<float>{0.0f, 0.0f}));
  EXPECT_TRUE(initial.from_init.allocated);
  EXPECT_EQ(initial.from_extract.size, 1);
  EXPECT_EQ(initial.from_extract.elements, (std::vector<float>{1.0f}));
  const t_vector fresh;
  EXPECT_EQ(fresh.size, 1);
  EXPECT_FALSE(fresh.allocated);
}

TEST(VectorRecord, FailureTable) {
  const std::string missing = (std::filesystem::temp_directory_path() / "orvik_no_such_vector_file").string();
  orvik::test::temp_dir dir;
  const std::string zero_count = dir.write("zero", "0\n");
  const std::string huge_count = dir.write("huge", std::to_string(too_many) + "\n1\n");
  const std::string fine = dir.write("fine", "1\n5\n");
  orvik::test::expect_stops({
      {"v_init size",
       [] {
         t_vector v;
         orvik::v_init(v, 0);
       },
       201, "v_init::positive size expected"},
      {"v_init release",
       [] {
         t_vector v = claims_storage();
         orvik::v_init(v, 3);
       },
       2002, "v_destruct::vector deallocate error"},
      {"v_init alloc",
       [] {
         t_vector v;
         orvik::v_init(v, too_many);
       },
       2001, "v_init::vector allocate error"},
      {"v_resize size",
       [] {
         t_vector v = orvik::v_ones(5);
         orvik::v_resize(v, -1);
       },
       201, "v_resize::positive size expected"},
      {"v_resize release",
       [] {
         t_vector v = claims_storage();
         orvik::v_resize(v, 3);
       },
       2002, "v_destruct::vector deallocate error"},
      {"v_resize alloc",
       [] {
         t_vector v;
         orvik::v_resize(v, too_many);
       },
       2001, "v_resize::vector allocate error"},
      {"fromfile missing",
       [&] {
         t_vector v;
         orvik::v_init_fromfile(v, missing);
       },
       3001, "u_is_exist_file::" + missing + " not exist"},
      {"fromfile release",
       [&] {
         t_vector v = claims_storage();
         orvik::v_init_fromfile(v, fine);
       },
       2002, "v_destruct::vector deallocate error"},
      {"fromfile count",
       [&] {
         t_vector v;
         orvik::v_init_fromfile(v, zero_count);
       },
       201, "v_init_fromfile::positive size expected"},
      {"fromfile alloc",
       [&] {
         t_vector v;
         orvik::v_init_fromfile(v, huge_count);
       },
       2001, "v_init_fromfile::vector allocate error"},
      {"v_zeros alloc", [] { orvik::v_zeros(too_many); }, 2001, "v_zeros::vector allocate error"},
      {"v_zeros negative", [] { orvik::v_zeros(-1); }, 201, "v_zeros::vector size is nil or negative"},
      {"v_ones size", [] { orvik::v_ones(0); }, 201, "v_ones::vector size is nil or negative"},
      {"v_ones alloc", [] { orvik::v_ones(too_many); }, 2001, "v_ones::allocate error"},
      {"v_init_value",
       [] {
         t_vector v;
         orvik::v_init_value(v, 1.0f);
       },
       2001, "v_init_value::vector not allocate yet"},
      {"v_affect",
       [] {
         t_vector v;
         orvik::v_affect(v, 1.0f);
       },
       2001, "v_affect::vector not allocated"},
      {"vc_random",
       [] {
         t_vector v;
         orvik::vc_random(v);
       },
       2001, "vc_random::vector not allocate yet"},
      {"v_destruct",
       [] {
         t_vector v = claims_storage();
         orvik::v_destruct(v);
       },
       2002, "v_destruct::vector deallocate error"},
      {"v_size", [] { orvik::v_size(t_vector{}); }, 2001, "v_size::vector not allocated"},
      {"v_get alloc", [] { orvik::v_get(t_vector{}, 1); }, 2001, "v_get::vector not allocated"},
      {"v_get 0", [] { orvik::v_get(orvik::v_ones(3), 0); }, 201, "v_get::vector size nil or negative"},
      {"v_get size+1", [] { orvik::v_get(orvik::v_ones(3), 4); }, 201, "v_get::vector size nil or negative"},
      {"v_set alloc",
       [] {
         t_vector v;
         orvik::v_set(v, 1, 2.0f);
       },
       2001, "v_set::vector not allocated"},
      {"v_set 0",
       [] {
         t_vector v = orvik::v_ones(3);
         orvik::v_set(v, 0, 2.0f);
       },
       201, "v_set::vector size nil or negative"},
      {"v_set size+1",
       [] {
         t_vector v = orvik::v_ones(3);
         orvik::v_set(v, 4, 2.0f);
       },
       201, "v_set::vector size nil or negative"},
      {"v_get_v", [] { orvik::v_get_v(t_vector{}); }, 2001, "v_get_v::vector not allocated"},
      {"v_extract reversed", [] { orvik::v_extract(orvik::v_ones(9), 5, 4); }, 201, "v_init::positive size expected"},
      {"v_extract alloc", [] { orvik::v_extract(t_vector{}, 1, 1); }, 2001, "v_extract::vector not allocated"},
      {"v_extract first 0", [] { orvik::v_extract(orvik::v_ones(3), 0, 2); }, 2001,
       "v_extract::positive boundary expected"},
      {"v_extract last 0", [] { orvik::v_extract(orvik::v_ones(3), 1, 0); }, 2001,
       "v_extract::positive boundary expected"},
      {"v_extract last>size", [] { orvik::v_extract(orvik::v_ones(3), 2, 4); }, 2001,
       "v_extract::inconsistent boundary"},
      {"v_extract first>size", [] { orvik::v_extract(orvik::v_ones(3), 4, 3); }, 2001,
       "v_extract::inconsistent boundary"},
      {"v_add_val_end alloc",
       [] {
         t_vector v;
         orvik::v_add_val_end(v, 1.0f);
       },
       2001, "v_add_val_end::vector not allocated"},
      {"v_add_val_end storage missing",
       [] {
         t_vector v = claims_storage();
         orvik::v_add_val_end(v, 1.0f);
       },
       2001, "v_add_val_end::vector not allocated"},
  });
}

TEST(VectorRecord, MissingFileLeavesTheVectorAlone) {
  orvik::raising_scope guard;
  t_vector v = vec({1.0f, 2.0f});
  EXPECT_THROW(orvik::v_init_fromfile(v, "/nonexistent/orvik/vector.txt"), orvik::error);
  EXPECT_TRUE(v.allocated);
  EXPECT_EQ(v.elements, (std::vector<float>{1.0f, 2.0f}));
}

TEST(VectorRecord, RememberedSizeFollowsEveryGivenValue) {
  orvik::raising_scope guard;
  t_vector v;
  orvik::v_init(v, 5);
  orvik::v_init(v);
  EXPECT_EQ(v.size, 5);
  // v_resize, v_zeros and v_ones leave it alone.
  orvik::v_resize(v, 3);
  EXPECT_EQ(v.elements, (std::vector<float>{0.0f, 0.0f, 0.0f}));
  t_vector z = orvik::v_zeros(8);
  t_vector o = orvik::v_ones(9);
  orvik::v_init(v);
  EXPECT_EQ(v.size, 5);
  // A refused size still replaces the remembered one.
  EXPECT_THROW(orvik::v_init(v, -4), orvik::error);
  EXPECT_THROW(orvik::v_init(v), orvik::error);
  // v_extract creates its result through v_init.
  const t_vector e = orvik::v_extract(o, 2, 8);
  orvik::v_init(v);
  EXPECT_EQ(v.size, 7);
}

TEST(VectorRecord, ExtractRemembersItsBounds) {
  orvik::raising_scope guard;
  const t_vector a = vec({10, 20, 30, 40, 50});
  const t_vector b = vec({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(orvik::v_extract(a, 2, 4).elements, (std::vector<float>{20, 30, 40}));
  EXPECT_EQ(orvik::v_extract(b).elements, (std::vector<float>{2, 3, 4}));
  EXPECT_EQ(orvik::v_extract(b, std::nullopt, 6).elements, (std::vector<float>{2, 3, 4, 5, 6}));
  // The bounds are taken before the checks, so a refused call still moves them.
  EXPECT_THROW(orvik::v_extract(a, 3), orvik::error);
  EXPECT_EQ(orvik::v_extract(b).elements, (std::vector<float>{3, 4, 5, 6}));
  EXPECT_EQ(orvik::v_extract(a, 5, 5).elements, (std::vector<float>{50}));
}

TEST(VectorRecord, LifecycleAndAccess) {
  orvik::raising_scope guard;
  const t_vector z = orvik::v_zeros(0);
  EXPECT_TRUE(z.allocated);
  EXPECT_EQ(orvik::v_size(z), 0);
  EXPECT_TRUE(orvik::v_get_v(z).empty());

  t_vector v = orvik::v_ones(3);
  EXPECT_EQ(orvik::v_get_v(v), (std::vector<float>{1, 1, 1}));
  orvik::v_set(v, 3, -7.5f);
  EXPECT_EQ(orvik::v_get(v, 3), -7.5f);
  orvik::v_init_value(v, 4.0f);
  EXPECT_EQ(v.elements, (std::vector<float>{4, 4, 4}));
  orvik::v_affect(v, -0.0f);
  EXPECT_TRUE(std::signbit(v.elements[0]));

  // Release twice, or a record never given storage: nothing happens.
  orvik::v_destruct(v);
  EXPECT_FALSE(v.allocated);
  EXPECT_EQ(v.size, 3);
  orvik::v_destruct(v);
  t_vector fresh;
  orvik::v_destruct(fresh);
  EXPECT_EQ(fresh.size, 1);
  // Re-initialising replaces what the record held.
  orvik::v_init(v, 2);
  orvik::v_init(v, 4);
  EXPECT_EQ(v.elements, (std::vector<float>(4, 0.0f)));
}

TEST(VectorRecord, ReleaseIsSilent) {
  const auto result = orvik::test::run_in_child([] {
    t_vector v;
    orvik::v_destruct(v);
    orvik::v_destruct(v);
  });
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, "");
}

TEST(VectorRecord, AppendGrowsByExactlyOne) {
  orvik::raising_scope guard;
  t_vector v = orvik::v_zeros(0);
  orvik::v_add_val_end(v, 3.5f);
  EXPECT_EQ(v.size, 1);
  EXPECT_EQ(v.elements, (std::vector<float>{3.5f}));
  for (int k = 1; k <= 4; ++k) orvik::v_add_val_end(v, static_cast<float>(k));
  EXPECT_EQ(v.elements, (std::vector<float>{3.5f, 1, 2, 3, 4}));
  EXPECT_EQ(v.elements.capacity(), 5u);
}

TEST(VectorRecord, RandomFillFollowsTheFlagRecipe) {
  orvik::raising_scope guard;
  t_vector one = orvik::v_zeros(1);
  orvik::vc_random(one);
  EXPECT_EQ(one.elements, (std::vector<float>{1.0f}));
  t_vector flat = orvik::v_zeros(6);
  orvik::vc_random(flat, 2.0f, 2.0f);
  EXPECT_EQ(flat.elements, (std::vector<float>(6, 2.0f)));

  t_vector v = orvik::v_zeros(40);
  orvik::vc_random(v, -3.0f, 5.0f);
  for (float x : v.elements) {
    EXPECT_GE(x, -3.0f);
    EXPECT_LE(x, 5.0f);
  }
  // high defaults to the size.
  orvik::vc_random(v, 10.0f);
  for (float x : v.elements) {
    EXPECT_GE(x, 10.0f);
    EXPECT_LE(x, 40.0f);
  }

  // Within one second: element 1 reseeds with the clock's whole seconds t
  // (1^100 * t), element 2 continues that sequence; a second call repeats it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    t_vector a = orvik::v_zeros(4);
    t_vector b = orvik::v_zeros(4);
    const auto t0 = static_cast<std::int32_t>(orvik::detail::clock_seconds_of_day());
    orvik::vc_random(a, 0.0f, 1.0f);
    orvik::vc_random(b, 0.0f, 1.0f);
    const float first = orvik::detail::random_uniform(t0);
    const float second = orvik::detail::random_uniform(0);
    const auto t1 = static_cast<std::int32_t>(orvik::detail::clock_seconds_of_day());
    if (t0 != t1 || t0 == 0) continue;
    EXPECT_EQ(a.elements, b.elements);
    EXPECT_EQ(a.elements[0], first);
    EXPECT_EQ(a.elements[1], second);
    return;
  }
  GTEST_SKIP() << "the clock kept crossing a second boundary";
}

TEST(VectorRecord, ReadsTheTextFile) {
  orvik::raising_scope guard;
  orvik::test::temp_dir dir;
  t_vector v;
  orvik::v_init_fromfile(v, dir.write("a", "3\n1.5 -2\n40.0\n"));
  EXPECT_EQ(v.elements, (std::vector<float>{1.5f, -2.0f, 40.0f}));
  // Values never come from line 1; values after the count are ignored.
  orvik::v_init_fromfile(v, dir.write("b", "3 7 8 9\n4 5 6 7\n8\n"));
  EXPECT_EQ(v.elements, (std::vector<float>{4, 5, 6}));
  orvik::v_init_fromfile(v, dir.write("c", "  4 trailing words\n1.0E-3,2d1\n\n-inf , 7\n"), 33);
  ASSERT_EQ(v.size, 4);
  EXPECT_EQ(v.elements[0], 1.0e-3f);
  EXPECT_EQ(v.elements[1], 20.0f);
  EXPECT_EQ(v.elements[2], -INFINITY);
  EXPECT_EQ(v.elements[3], 7.0f);
  // A file that ends early: the missing values are 0.0.
  orvik::v_init_fromfile(v, dir.write("d", "4\n9 8\n"));
  EXPECT_EQ(v.elements, (std::vector<float>{9, 8, 0, 0}));
  // A file without a count leaves the record released, and says nothing.
  orvik::v_init_fromfile(v, dir.write("e", ""));
  EXPECT_FALSE(v.allocated);
  orvik::v_init_fromfile(v, dir.write("f", "\n\n"));
  EXPECT_FALSE(v.allocated);
}

TEST(VectorRecord, FileValuesThatAreNotNumbers) {
  orvik::test::temp_dir dir;
  const std::string bad_value = dir.write("v", "2\n1.0 abc\n");
  const std::string bad_count = dir.write("c", "two\n1 2\n");
  EXPECT_FILE_FAILURE(
      {
        t_vector v;
        orvik::v_init_fromfile(v, bad_value);
      },
      "abc");
  EXPECT_FILE_FAILURE(
      {
        t_vector v;
        orvik::v_init_fromfile(v, bad_count);
      },
      "two");
}

}  // namespace
