// Every check of the access, arithmetic, reduction and generator operations:
// the exact error line on standard output and exit status 1.

#include "support/child.hpp"
#include "support/records.hpp"

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>
#include <orvik/vector.hpp>

#include <functional>
#include <string>
#include <vector>

namespace orvik {
namespace {

using test::stop_case;

using test::matrix_of;
using test::vector_of;

const t_matrix fresh{};
const t_matrix m23 = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
const t_matrix m32 = matrix_of(3, 2, {1, 2, 3, 4, 5, 6});
const t_matrix m22 = matrix_of(2, 2, {1, 2, 3, 4});

TEST(MatrixStops, Access) {
  test::expect_stops({
      {"get fresh", [] { m_get(fresh, 1, 1); }, 2001, "m_get::matrix not allocated"},
      {"get row 0", [] { m_get(m23, 0, 1); }, 201, "m_get::matrix index nil or negative"},
      {"get row past", [] { m_get(m23, 3, 1); }, 201, "m_get::matrix index nil or negative"},
      {"get col 0", [] { m_get(m23, 1, 0); }, 201, "m_get::matrix index nil or negative"},
      {"get col past", [] { m_get(m23, 1, 4); }, 201, "m_get::matrix index nil or negative"},
      {"set fresh",
       [] {
         t_matrix m;
         m_set(m, 1, 1, 0.0f);
       },
       2001, "m_set::matrix not allocated"},
      {"set past",
       [] {
         t_matrix m = m23;
         m_set(m, 2, 4, 0.0f);
       },
       201, "m_set::matrix size nil or negative"},
      {"getrow fresh", [] { m_getrow(fresh, 1); }, 2001, "m_getRow::matrix not allocated"},
      {"getrow 0", [] { m_getrow(m23, 0); }, 201, "m_getRow::matrix index nil or negative"},
      {"getrow past", [] { m_getrow(m23, 3); }, 201, "m_getRow::matrix index nil or negative"},
      {"getcol fresh", [] { m_getcol(fresh, 1); }, 2001, "m_getCol::matrix not allocated"},
      {"getcol 0", [] { m_getcol(m23, 0); }, 201, "m_getCol::matrix index nil or negative"},
      {"getcol past", [] { m_getcol(m23, 4); }, 201, "m_getCol::matrix index nil or negative"},
      {"get_m fresh", [] { m_get_m(fresh); }, 2001, "m_get_m::matrix not allocated"},
      {"tovector fresh", [] { m_matrixtovector(fresh); }, 2001, "m_matrixTOvector::matrix not allocated"},
      {"tovector empty", [] { m_matrixtovector(m_zeros(0, 3)); }, 201, "v_init::positive size expected"},
      // The allocation check comes before the bounds are compared.
      {"extract fresh", [] { m_extract(fresh, 0, 9, 0, 9); }, 2001, "m_extract::matrix not allocated"},
      {"extract below 1", [] { m_extract(m23, 1, 1, 1, 0); }, 2001, "m_extract::positive boundary expected"},
      {"extract past rows", [] { m_extract(m23, 1, 3, 1, 1); }, 2001, "m_extract::inconsistent boundary"},
      {"extract past cols", [] { m_extract(m23, 1, 1, 4, 1); }, 2001, "m_extract::inconsistent boundary"},
      {"extract rows reversed", [] { m_extract(m23, 2, 1, 1, 1); }, 201, "m_init::row is nil or negative"},
      {"extract cols reversed", [] { m_extract(m23, 1, 1, 3, 2); }, 201, "m_init::column is nil or negative"},
      {"setsub m fresh",
       [] {
         t_matrix m;
         m_setsub(m, m22);
       },
       2001, "m_setsub::matrix not allocated"},
      {"setsub sub fresh",
       [] {
         t_matrix m = m22;
         m_setsub(m, fresh);
       },
       2001, "m_setsub::matrix not allocated"},
      {"setsub below 1",
       [] {
         t_matrix m = m23;
         m_setsub(m, 0, 1, 1, 1, m22);
       },
       2001, "m_setsub::positive boundary expected"},
      {"setsub past",
       [] {
         t_matrix m = m23;
         m_setsub(m, 1, 2, 2, 4, m22);
       },
       2001, "m_setsub::inconsistent boundary"},
      {"setsub shape",
       [] {
         t_matrix m = m23;
         m_setsub(m, m32);
       },
       2001, "m_setsub::inconsistent boundary between m and m_sub"},
      {"setsub reversed",
       [] {
         t_matrix m = m23;
         m_setsub(m, 2, 1, 1, 2, m22);
       },
       2001, "m_setsub::inconsistent boundary between m and m_sub"},
  });
}

TEST(MatrixStops, ArithmeticAndProducts) {
  const t_vector v2 = vector_of({1, 1});
  const t_vector v3 = vector_of({1, 1, 1});
  const t_vector no_vector{};
  test::expect_stops({
      {"trans fresh", [] { m_trans(fresh); }, 2001, "m_trans::matrix not allocated"},
      {"trans empty", [] { m_trans(m_zeros(0, 3)); }, 201, "m_init::column is nil or negative"},
      {"add fresh", [] { m_add(m22, fresh); }, 2001, "m_add::matrix not allocated"},
      {"add shape", [] { m_add(m23, m32); }, 202, "m_add::matrices are not the same size"},
      {"minus fresh", [] { m_minus(fresh, m22); }, 2001, "m_minus::matrix not allocated"},
      {"minus shape", [] { m_minus(m23, m32); }, 202, "m_minus::matrices are not the same size"},
      {"div fresh", [] { m_div_scalar(fresh, 1.0f); }, 2001, "m_div_scalar::matrix not allocated"},
      {"div zero", [] { m_div_scalar(m22, 0.0f); }, 101, "m_div_scalar::can not divide by zero"},
      {"div minus zero", [] { m_div_scalar(m22, -0.0f); }, 101, "m_div_scalar::can not divide by zero"},
      {"scalar1 fresh", [] { m_prod_scalar1(2.0f, fresh); }, 2001, "m_prod_scalar1::matrix not allocated"},
      {"scalar2 fresh", [] { m_prod_scalar2(fresh, 2.0f); }, 2001, "m_prod_scalar2::matrix not allocated"},
      {"vec1 fresh", [&] { m_prod_vec1(fresh, v2); }, 2001, "m_prod_vec1::matrix not allocated"},
      {"vec1 no vector", [&] { m_prod_vec1(m22, no_vector); }, 2001, "m_prod_vec1::matrix not allocated"},
      {"vec1 size", [&] { m_prod_vec1(m23, v2); }, 202,
       "m_prod_vec1::The number cols of the first matrix must be equal to vector size"},
      {"vec_c fresh", [&] { m_prod_vec_c(fresh, v2); }, 2001, "m_prod_vec_c::matrix not allocated"},
      {"vec_c no vector", [&] { m_prod_vec_c(m22, no_vector); }, 2001, "m_prod_vec_c::matrix not allocated"},
      {"vec_c size", [&] { m_prod_vec_c(m23, v2); }, 202,
       "m_prod_vec_c::The number cols of the first matrix must be equal to vector size"},
      {"vec2 fresh", [&] { m_prod_vec2(v2, fresh); }, 2001, "m_prod_vec2::matrix not allocated"},
      {"vec2 no vector", [&] { m_prod_vec2(no_vector, m22); }, 2001, "m_prod_vec2::matrix not allocated"},
      {"vec2 size", [&] { m_prod_vec2(v3, m23); }, 202, "m_prod_vec2::matrix size must be equal to matrix row"},
      {"mat fresh", [] { m_prod_mat(m22, fresh); }, 2001, "m_prod_mat::matrix not allocated"},
      // 101 characters; the buffer keeps 100, so the last letter is lost.
      {"mat shape", [] { m_prod_mat(m23, m23); }, 202,
       "m_prod_mat::The number cols of the first matrix must be equal to the number rows of the second matri"},
  });
}

// One reduction: its name, the allocation message and, for the indexed
// members, the index message and which extent the index is checked against.
struct family_member {
  std::string name;
  std::function<void(const t_matrix&, std::int32_t)> call;
  std::string unallocated;
  std::string bad_index;  // empty for the whole-matrix members
  bool by_row = false;
};

TEST(MatrixStops, Reductions) {
  const std::vector<family_member> family = {
      {"sum", [](const t_matrix& m, std::int32_t) { m_sum(m); }, "m_sum::matrix not allocated", ""},
      {"sumcol", [](const t_matrix& m, std::int32_t k) { m_sumcol(m, k); }, "m_sumCol::matrix not allocated",
       "m_sumCol::column nil or negative"},
      {"sumrow", [](const t_matrix& m, std::int32_t k) { m_sumrow(m, k); }, "m_sumRow::matrix not allocated",
       "m_sumRow::row is nil or negative", true},
      {"min", [](const t_matrix& m, std::int32_t) { m_min(m); }, "m_min::matrix not allocated", ""},
      {"mincol", [](const t_matrix& m, std::int32_t k) { m_mincol(m, k); }, "m_minCol::matrix not allocated",
       "m_minCol::column nil or negative"},
      {"minrow", [](const t_matrix& m, std::int32_t k) { m_minrow(m, k); }, "m_minRow::matrix not allocated",
       "m_minRow::row is nil or negative", true},
      {"max", [](const t_matrix& m, std::int32_t) { m_max(m); }, "m_max::matrix not allocated", ""},
      {"maxcol", [](const t_matrix& m, std::int32_t k) { m_maxcol(m, k); }, "m_maxCol::matrix not allocated",
       "m_maxCol::column nil or negative"},
      {"maxrow", [](const t_matrix& m, std::int32_t k) { m_maxrow(m, k); }, "m_maxRow::matrix not allocated",
       "m_maxRow::row is nil or negative", true},
      {"nbzeros", [](const t_matrix& m, std::int32_t) { m_nbzeros(m); }, "m_nbzeros::matrix not allocated", ""},
      {"nbzeroscol", [](const t_matrix& m, std::int32_t k) { m_nbzeroscol(m, k); },
       "m_nbzerosCol::matrix not allocated", "m_nbzerosCol::column nil or negative"},
      {"nbzerosrow", [](const t_matrix& m, std::int32_t k) { m_nbzerosrow(m, k); },
       "m_nbzerosRow::matrix not allocated", "m_nbzerosRow::row nil or negative", true},
      {"nbpositive", [](const t_matrix& m, std::int32_t) { m_nbpositive(m); }, "m_nbpositive::matrix not allocated",
       ""},
      {"nbpositivecol", [](const t_matrix& m, std::int32_t k) { m_nbpositivecol(m, k); },
       "m_nbpositiveCol::matrix not allocated", "m_nbpositiveCol::column nil or negative"},
      {"nbpositiverow", [](const t_matrix& m, std::int32_t k) { m_nbpositiverow(m, k); },
       "m_nbpositiveRow::matrix not allocated", "m_nbpositiveRow::row is nil or negative", true},
      {"nbnegative", [](const t_matrix& m, std::int32_t) { m_nbnegative(m); }, "m_nbnegative::matrix not allocated",
       ""},
      {"nbnegativecol", [](const t_matrix& m, std::int32_t k) { m_nbnegativecol(m, k); },
       "m_nbnegativeCol::matrix not allocated", "m_nbnegativeCol::column nil or negative"},
      {"nbnegativerow", [](const t_matrix& m, std::int32_t k) { m_nbnegativerow(m, k); },
       "m_nbnegativeRow::matrix not allocated", "m_nbnegativeRow::row is nil or negative", true},
  };
  for (const family_member& f : family) {
    SCOPED_TRACE(f.name);
    // Allocation is checked before the index, even a bad one.
    EXPECT_STOPS_WITH(f.call(fresh, 0), 2001, f.unallocated);
    if (f.bad_index.empty()) continue;
    // 2 x 3: a row index is checked against 2, a column index against 3.
    const std::int32_t extent = f.by_row ? 2 : 3;
    for (const std::int32_t k : {0, -1, extent + 1}) EXPECT_STOPS_WITH(f.call(m23, k), 201, f.bad_index);
    const raising_scope guard;
    EXPECT_NO_THROW(f.call(m23, extent));
  }
}

TEST(MatrixStops, Comparisons) {
  test::expect_stops({
      {"isequal_scalar fresh", [] { m_isequal_scalar(fresh, 0.0f); }, 2001, "m_isEqual_scalar::matrix not allocated"},
      {"isequal fresh", [] { m_isequal(m22, fresh); }, 2001, "m_isEqual::matrix not allocated"},
      {"isequal shape", [] { m_isequal(m23, m32); }, 202, "m_isEqual::matrices are not the same size"},
      {"issymmetric fresh", [] { m_issymmetric(fresh); }, 2001, " m_isSymmetric::matrix not allocated"},
  });
}

// A record that claims storage it does not hold, so that m_destruct refuses
// to release it.
t_matrix broken_record() {
  t_matrix m;
  m.rows = 2;
  m.cols = 2;
  m.allocated = true;
  return m;
}

TEST(MatrixStops, StructuredAndGenerators) {
  // 30000^2 elements lie beyond what one record may hold.
  constexpr std::int32_t huge = 30000;
  test::expect_stops({
      {"diag fresh", [] { m_diag(fresh); }, 2001, "m_diag::matrix not allocated"},
      {"diag k = cols", [] { m_diag(m23, 3); }, 203, "m_diag::diag is not defined"},
      {"diag k = -rows", [] { m_diag(m23, -2); }, 203, "m_diag::diag is not defined"},
      {"bidiag_up fresh", [] { m_bidiag_up(fresh); }, 2001, "m_bidiag_up::matrix not allocated"},
      {"bidiag_low fresh", [] { m_bidiag_low(fresh); }, 2001, "m_bidiag_low::matrix not allocated"},
      {"triu fresh", [] { m_triu(fresh); }, 2001, "m_triu::matrix not allocated"},
      {"tril fresh", [] { m_tril(fresh, 1); }, 2001, "m_tril::matrix not allocated"},
      {"mc_diag empty", [] { mc_diag({}); }, 202, "mc_diag::size vector must be superior or equal 1"},
      {"mc_diag huge",
       [] {
         const std::vector<float> d(23171, 1.0f);
         mc_diag(d);
       },
       2001, "allocate error"},
      {"mc_bidiag_low 1", [] { mc_bidiag_low(1, 2, 1); }, 202,
       "mc_bidiag_low::size vector must be superior or equal 2"},
      {"mc_bidiag_low huge", [] { mc_bidiag_low(1, 2, huge); }, 2001, "mc_bidiag_low::allocate error"},
      {"mc_bidiag_up 1", [] { mc_bidiag_up(1, 2, 1); }, 202, "mc_bidiag_up::size vector must be superior or equal 2"},
      {"mc_bidiag_up huge", [] { mc_bidiag_up(1, 2, huge); }, 2001, "mc_bidiag_up::allocate error"},
      {"mc_tridiag 0", [] { mc_tridiag(1, 2, 3, 0); }, 202, "mc_tridiag::size vector must be superior or equal 2"},
      {"mc_tridiag huge", [] { mc_tridiag(1, 2, 3, huge); }, 2001, "mc_tridiag::allocate error"},
      {"identity 0", [] { m_identity(0); }, 201, "m_identity::matrix size is nil or negative"},
      {"identity huge", [] { m_identity(huge); }, 2001, "m_identity::allocate error"},
      {"dominant symmetric 0",
       [] {
         t_matrix m;
         mc_diagdominantsymmetric(m, 0, 0.0f, 1.0f);
       },
       201, "mc_diagDominantSymmetric::matrix index is nil or negative"},
      {"dominant symmetric release",
       [] {
         t_matrix m = broken_record();
         mc_diagdominantsymmetric(m, 2, 0.0f, 1.0f);
       },
       2002, "m_destruct::matrix deallocate error"},
      {"dominant symmetric huge",
       [] {
         t_matrix m;
         mc_diagdominantsymmetric(m, huge, 0.0f, 1.0f);
       },
       2001, "mc_diagDominantSymmetric::allocate error"},
      {"dominant -1",
       [] {
         t_matrix m;
         mc_diagdominant(m, -1, 0.0f, 1.0f);
       },
       201, "mc_diagDominant::matrix index is nil or negative"},
      {"dominant release",
       [] {
         t_matrix m = broken_record();
         mc_diagdominant(m, 2, 0.0f, 1.0f);
       },
       2002, "m_destruct::matrix deallocate error"},
      {"dominant huge",
       [] {
         t_matrix m;
         mc_diagdominant(m, huge, 0.0f, 1.0f);
       },
       2001, "mc_diagDominant::allocate error"},
  });
}

// The raising mode carries the same number, and the buffer holds the
// message blank padded.
TEST(MatrixStops, RaisingModeCarriesNumberAndBuffer) {
  const raising_scope guard;
  try {
    m_getcol(m23, 9);
    FAIL() << "no error";
  } catch (const error& e) {
    EXPECT_EQ(e.exception().number, 201);
    EXPECT_EQ(e.exception().level, 201);
    const std::string text(m_what_exception.begin(), m_what_exception.end());
    EXPECT_EQ(text, std::string("m_getCol::matrix index nil or negative").append(100 - 38, ' '));
  }
}

}  // namespace
}  // namespace orvik
