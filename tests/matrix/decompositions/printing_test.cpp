// Factorization records written to text files: the exact text, P only when
// allocated, the caller's position honoured by the first open only.

#include "support/child.hpp"
#include "support/records.hpp"
#include "support/temp_files.hpp"

#include <gtest/gtest.h>
#include <orvik/orvik.hpp>

#include <algorithm>
#include <string>

namespace orvik {
namespace {

using test::matrix_of;

const std::string lu_text =
    " ------> LU decomposition :\n"
    " ------> L matrix :\n"
    "2 2\n"
    "1.00000000 0.00000000\n"
    "0.50000000 1.00000000\n"
    " ------> U matrix :\n"
    "2 2\n"
    "4.00000000 1.00000000\n"
    "0.00000000 0.50000000\n";
const std::string p_text =
    " ------> P (permutation) matrix :\n"
    "2 2\n"
    "0.00000000 1.00000000\n"
    "1.00000000 0.00000000\n";

TEST(DecompositionPrinting, LuWithAndWithoutPermutation) {
  test::temp_dir dir;
  const std::string file = dir.path("lu.txt");
  t_lu lu;
  lu.L = matrix_of(2, 2, {1, 0, 0.5f, 1});
  lu.U = matrix_of(2, 2, {4, 1, 0, 0.5f});
  lu.nb_permut = 1;
  m_print_lu_tofile(lu, file);
  EXPECT_EQ(test::read_file(file), lu_text);
  lu.P = matrix_of(2, 2, {0, 1, 1, 0});
  m_print_lu_tofile(lu, file, 11, "unknown", "rewind");
  EXPECT_EQ(test::read_file(file), lu_text + p_text);
}

TEST(DecompositionPrinting, CholeskyRecordWithoutPermutation) {
  test::temp_dir dir;
  const std::string file = dir.path("chol.txt");
  const t_m_and_p chol = m_decompcholesky(matrix_of(2, 2, {4, 2, 2, 3}));
  ASSERT_FALSE(chol.P.allocated);
  m_print_m_and_p_tofile(chol, file);
  const std::string text = test::read_file(file);
  const std::string head =
      " ------> M_AND_P (example:Cholesky) decomposition :\n"
      " ------> M matrix :\n"
      "2 2\n"
      "2.00000000 0.00000000\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.find("------> P"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

TEST(DecompositionPrinting, QrRewindReplacesAppendKeeps) {
  test::temp_dir dir;
  const std::string file = dir.path("qr.txt");
  const t_qr qr = m_decompqr_householder(matrix_of(2, 2, {2, 1, 0, 3}));
  const std::string once =
      " ------> QR decomposition :\n"
      " ------> Q matrix :\n"
      "2 2\n"
      "1.00000000 0.00000000\n"
      "0.00000000 1.00000000\n"
      " ------> R matrix :\n"
      "2 2\n"
      "2.00000000 1.00000000\n"
      "0.00000000 3.00000000\n";
  m_print_qr_tofile(qr, file);
  m_print_qr_tofile(qr, file);
  EXPECT_EQ(test::read_file(file), once);
  m_print_qr_tofile(qr, file, std::nullopt, std::nullopt, "append");
  EXPECT_EQ(test::read_file(file), once + once);
  // "replace" and "new" apply to the first open; the factors still follow it.
  m_print_qr_tofile(qr, file, std::nullopt, "replace", "append");
  EXPECT_EQ(test::read_file(file), once);
  const std::string fresh_file = dir.path("new.txt");
  m_print_qr_tofile(qr, fresh_file, std::nullopt, "new");
  EXPECT_EQ(test::read_file(fresh_file), once);
  EXPECT_FILE_FAILURE(m_print_qr_tofile(qr, fresh_file, std::nullopt, "new"), fresh_file);
}

TEST(DecompositionPrinting, UnallocatedFactorStopsAfterItsHeader) {
  test::temp_dir dir;
  const std::string file = dir.path("stop.txt");
  t_qr qr;
  qr.Q = matrix_of(1, 1, {1});
  EXPECT_STOPS_WITH(m_print_qr_tofile(qr, file), 2001, "m_print_tofile::matrix not allocated");
  EXPECT_EQ(test::read_file(file),
            " ------> QR decomposition :\n"
            " ------> Q matrix :\n"
            "1 1\n"
            "1.00000000\n"
            " ------> R matrix :\n");
  const t_lu empty;
  EXPECT_STOPS_WITH(m_print_lu_tofile(empty, file), 2001, "m_print_tofile::matrix not allocated");
  EXPECT_EQ(test::read_file(file), " ------> LU decomposition :\n ------> L matrix :\n");
}

}  // namespace
}  // namespace orvik
