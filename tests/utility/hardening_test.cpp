// Files and output under faults: failed reads, endless or huge tokens,
// writes that fail half way, and printed output that cannot be written.

#include <gtest/gtest.h>
#include <orvik/exception.hpp>
#include <orvik/matrix.hpp>
#include <orvik/utility.hpp>
#include <orvik/vector.hpp>

#include "support/child.hpp"
#include "support/generators.hpp"
#include "support/records.hpp"
#include "support/temp_files.hpp"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>

namespace {

using orvik::t_matrix;
using orvik::t_vector;
namespace fs = std::filesystem;

// Reading /proc/self/mem from its start fails (EIO): a read that fails,
// not an end of file.
TEST(HardenedReading, AFailedReadIsReportedNotTakenForTheEnd) {
  EXPECT_FILE_FAILURE(
      {
        t_matrix m;
        orvik::m_init_fromfile(m, "/proc/self/mem");
      },
      "\"/proc/self/mem\": could not be read");
  EXPECT_FILE_FAILURE(
      {
        t_vector v;
        orvik::v_init_fromfile(v, "/proc/self/mem");
      },
      "could not be read");
  EXPECT_FILE_FAILURE(orvik::u_nbline("/proc/self/mem"), "could not be read");
}

// A file that never ends (or one huge token) is read in bounded memory, and
// the report quotes only the head of the token.
TEST(HardenedReading, EndlessTokensStopWithAShortQuote) {
  const orvik::test::child_result zero = orvik::test::run_in_child([] {
    t_matrix m;
    orvik::m_init_fromfile(m, "/dev/zero");
  });
  EXPECT_EQ(zero.exit_code, 2);
  std::string nul_bytes;
  for (int k = 0; k < 32; ++k) nul_bytes += "\\x00";
  EXPECT_EQ(zero.err, "orvik: file \"/dev/zero\": line 1: \"" + nul_bytes + "...\" is too long to be a number\n");

  orvik::test::temp_dir dir;
  const std::string file = dir.write("long.txt", "2\n1.5 " + std::string(1 << 20, '7') + "\n");
  const orvik::test::child_result digits = orvik::test::run_in_child([&] {
    t_vector v;
    orvik::v_init_fromfile(v, file);
  });
  EXPECT_EQ(digits.exit_code, 2);
  EXPECT_NE(digits.err.find("line 2: \"" + std::string(32, '7') + "...\" is too long to be a number"),
            std::string::npos)
      << digits.err;
  EXPECT_LT(digits.err.size(), 200 + file.size());

  // A token under the bound but not a number is quoted up to 32 characters.
  const std::string word = dir.write("word.txt", "1 1\n" + std::string(40, 'a') + "\n");
  EXPECT_FILE_FAILURE(
      {
        t_matrix m;
        orvik::m_init_fromfile(m, word);
      },
      "line 2: \"" + std::string(32, 'a') + "...\" is not a number");
}

// The rewind goes to a temporary: a write that fails half way (here at the
// file size limit) leaves the earlier file whole and no temporary behind.
TEST(HardenedWriting, AFailedRewindKeepsTheEarlierFile) {
  orvik::test::temp_dir dir;
  const std::string target = dir.path("m.txt");
  orvik::m_print_tofile(orvik::test::matrix_of(1, 2, {1.0f, 2.0f}), target);
  const std::string before = orvik::test::read_file(target);
  const t_matrix big = orvik::test::random_matrix(200, 200, 7);

  for (const char* position : {"rewind", "asis"}) {
    const orvik::test::child_result r = orvik::test::run_in_child([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{4096, 4096};
      setrlimit(RLIMIT_FSIZE, &limit);
      orvik::m_print_tofile(big, target, std::nullopt, "unknown", position);
    });
    EXPECT_EQ(r.exit_code, 2) << position;
    EXPECT_NE(r.err.find("could not be written"), std::string::npos) << r.err;
    EXPECT_EQ(orvik::test::read_file(target), before) << position;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.root()), fs::directory_iterator()), 1) << position;
  }

  // Appending cannot be undone: its failure is reported all the same.
  const orvik::test::child_result appended = orvik::test::run_in_child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    orvik::m_print_tofile(big, target, std::nullopt, std::nullopt, "append");
  });
  EXPECT_EQ(appended.exit_code, 2);
  EXPECT_NE(appended.err.find("could not be written"), std::string::npos) << appended.err;

  // Under the raising mode the failure throws and the file is kept too.
  orvik::m_print_tofile(orvik::test::matrix_of(1, 2, {1.0f, 2.0f}), target);
  const orvik::test::child_result raised = orvik::test::run_in_child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    orvik::raising_scope raising;
    try {
      orvik::v_print_c_tofile(orvik::v_ones(5000), target);
    } catch (const orvik::file_error&) {
      std::_Exit(42);
    }
  });
  EXPECT_EQ(raised.exit_code, 42);
  EXPECT_EQ(orvik::test::read_file(target), before);
}

TEST(HardenedWriting, RewindKeepsStatusRulesPermissionsAndLinks) {
  orvik::test::temp_dir dir;
  const t_vector v = orvik::test::vector_of({0.5f});
  const std::string target = dir.path("v.txt");
  orvik::v_print_tofile(v, target);
  EXPECT_FILE_FAILURE(orvik::v_print_tofile(v, target, std::nullopt, "new"), "already exists");
  EXPECT_FILE_FAILURE(orvik::v_print_tofile(v, dir.path("missing.txt"), std::nullopt, "old"), "does not exist");
  EXPECT_FALSE(fs::exists(dir.path("missing.txt")));

  // The rewritten file keeps the permissions the earlier one had.
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  orvik::v_print_tofile(orvik::test::vector_of({1.0f, 2.0f}), target, std::nullopt, "old");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(orvik::test::read_file(target), "2\n1.00000000 2.00000000\n");

  // A symbolic link stays a link; the file it names is rewritten.
  const std::string link = dir.path("link.txt");
  fs::create_symlink(target, link);
  orvik::v_print_tofile(v, link);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(orvik::test::read_file(target), "1\n0.50000000\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.root()), fs::directory_iterator()), 2);
}

// A device is written in place, never replaced; a full one is reported.
TEST(HardenedWriting, AFullDeviceIsReportedAndKept) {
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_FILE_FAILURE(orvik::m_print_tofile(orvik::test::matrix_of(1, 1, {1.0f}), "/dev/full"),
                      "\"/dev/full\": could not be written (No space left on device)");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// Printed output that cannot be written is not passed over in silence.
TEST(HardenedOutput, AFailedFlushOfStandardOutputIsReported) {
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const t_matrix m = orvik::test::matrix_of(1, 1, {1.0f});
  const t_vector v = orvik::test::vector_of({1.0f});
  for (const auto& print : std::initializer_list<std::function<void()>>{
           [&] { orvik::m_print(m); }, [&] { orvik::v_print(v); }, [&] { orvik::v_print_c(v); }}) {
    const orvik::test::child_result r = orvik::test::run_in_child([&] {
      std::freopen("/dev/full", "w", stdout);
      print();
    });
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "orvik: standard output: could not be written (No space left on device)\n");
  }
  const orvik::test::child_result raised = orvik::test::run_in_child([&] {
    std::freopen("/dev/full", "w", stdout);
    orvik::raising_scope raising;
    try {
      orvik::m_print(m);
    } catch (const orvik::file_error&) {
      std::_Exit(42);
    }
  });
  EXPECT_EQ(raised.exit_code, 42);
}

}  // namespace
