// tarvel run as a program: its eight lines and its data file.

#include <gtest/gtest.h>
#include <orvik/matrix.hpp>

#include "support/temp_files.hpp"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Tarvel : public ::testing::Test {
 protected:
  orvik::test::temp_dir dir;

  std::string run() {
    const char* program = std::getenv("ORVIK_TARVEL");
    if (program == nullptr) return {};
    const std::string out = dir.path("stdout.txt");
    const std::string command = "cd '" + dir.root().string() + "' && '" + program + "' > '" + out + "'";
    status = std::system(command.c_str());
    return orvik::test::read_file(out);
  }
  int status = -1;
};

TEST_F(Tarvel, PrintsEightLinesAndWritesItsDataFile) {
  if (std::getenv("ORVIK_TARVEL") == nullptr) GTEST_SKIP() << "ORVIK_TARVEL not set";
  dir.write("tarvel.dat", "old content that must go\n");
  const std::vector<std::string> lines = lines_of(run());
  ASSERT_EQ(status, 0);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], " ********************************************* display initial data");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], " * m1=");
  EXPECT_EQ(lines[7], " >>>>>>>>>>>>>size info: rows=           4 , cols=           4");

  orvik::t_matrix back;
  orvik::m_init_fromfile(back, dir.path("tarvel.dat"));
  ASSERT_EQ(back.rows, 4);
  ASSERT_EQ(back.cols, 4);
  const std::vector<std::string> file_lines = lines_of(orvik::test::read_file(dir.path("tarvel.dat")));
  ASSERT_EQ(file_lines.size(), 5u);
  EXPECT_EQ(file_lines[0], "4 4");
  for (int i = 1; i <= 4; ++i) {
    const std::string& row = lines[2 + i];
    ASSERT_EQ(row.size(), 1u + 4u * 16u + 3u) << row;
    std::istringstream printed(row);
    for (int j = 1; j <= 4; ++j) {
      float value = 0.0f;
      printed >> value;
      EXPECT_GE(value, 1.0f);
      EXPECT_LE(value, 10.0f);
      const float from_file = back.elements[(j - 1) * 4 + (i - 1)];
      EXPECT_NEAR(from_file, value, 5e-9f * 10.0f + 1e-8f) << "row " << i << " col " << j;
    }
  }
}

}  // namespace
