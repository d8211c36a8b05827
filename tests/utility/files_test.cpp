// File helpers and machine epsilon.

#include <gtest/gtest.h>
#include <orvik/maths.hpp>
#include <orvik/utility.hpp>

#include "support/child.hpp"
#include "support/temp_files.hpp"

#include <bit>
#include <cstdint>
#include <string>

namespace {

class FileHelpers : public ::testing::Test {
 protected:
  orvik::test::temp_dir dir;
};

TEST_F(FileHelpers, ExistingFileIsReported) { EXPECT_TRUE(orvik::u_is_exist_file(dir.write("a.txt", "x\n"))); }

TEST_F(FileHelpers, MissingFileStopsWith3001NamingTheFile) {
  const std::string name = dir.path("missing.txt");
  EXPECT_STOPS_WITH(orvik::u_is_exist_file(name), 3001, "u_is_exist_file::" + name + " not exist");
  EXPECT_STOPS_WITH(orvik::u_nbline(name), 3001, "u_is_exist_file::" + name + " not exist");
}

TEST_F(FileHelpers, LongNameLosesTheEndOfTheMessage) {
  const std::string name(80, 'n');
  // 17 + 80 + 10 = 107 characters: " not exist" loses its last seven.
  EXPECT_STOPS_WITH(orvik::u_is_exist_file(name), 3001, "u_is_exist_file::" + name + " no");
}

TEST_F(FileHelpers, LineCountCountsEveryLineIncludingAnUnterminatedLastOne) {
  struct Case {
    const char* text;
    std::int32_t lines;
  } cases[] = {{"a\nb\nc\n", 3}, {"", 0}, {"\n\n\n\n", 4}, {"a\nb", 2}, {"only", 1}, {"x\r\ny\r\n", 2}};
  for (const Case& c : cases) EXPECT_EQ(orvik::u_nbline(dir.write("f.txt", c.text)), c.lines) << c.text;
}

TEST_F(FileHelpers, UnreadableFileIsReportedOnStandardError) {
  // A directory exists but cannot be read as a text file.
  EXPECT_FILE_FAILURE(orvik::u_nbline(dir.root().string()), "cannot be opened for reading");
}

TEST(MachineEpsilon, IsTheUnitRoundOffOfFloat32) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(orvik::math_machine_eps()), 0x33800000u);
  EXPECT_EQ(orvik::math_machine_eps(), orvik::math_machine_eps());
}

}  // namespace
