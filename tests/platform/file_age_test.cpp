#include "platform/file_age.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace vorel {
namespace {

namespace fs = std::filesystem;

class FileAgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorel_age_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Touch(const std::string& name, int year, int month, int day, int hour, int minute, int second) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "x";
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const utimbuf times{std::mktime(&tm), std::mktime(&tm)};
    utime(path.c_str(), &times);
    return path;
  }

  std::string dir_;
};

TEST_F(FileAgeTest, PacksTheLocalWriteTime) {
  const std::string path = Touch("a.dbf", 2026, 12, 7, 22, 38, 35);
  const auto age = static_cast<uint32_t>(FileAge(path));
  EXPECT_EQ(age >> 25, 2026u - 1980u);
  EXPECT_EQ((age >> 21) & 0xF, 12u);
  EXPECT_EQ((age >> 16) & 0x1F, 7u);
  EXPECT_EQ((age >> 11) & 0x1F, 22u);
  EXPECT_EQ((age >> 5) & 0x3F, 38u);
  EXPECT_EQ(age & 0x1F, 17u);  // two-second steps
}

TEST_F(FileAgeTest, LaterWriteIsLargerAndMissingOrFolderIsMinusOne) {
  const int32_t older = FileAge(Touch("old.dbf", 2025, 1, 31, 23, 59, 58));
  const int32_t newer = FileAge(Touch("new.dbf", 2026, 2, 1, 0, 0, 0));
  EXPECT_GT(newer, older);
  EXPECT_GT(older, 0);
  EXPECT_EQ(FileAge(dir_ + "/missing.dbf"), -1);
  EXPECT_EQ(FileAge(dir_), -1);
  // Before 1980 nothing can be packed.
  EXPECT_EQ(PackDosDateTime(1979, 12, 31, 0, 0, 0), -1);
}

}  // namespace
}  // namespace vorel
