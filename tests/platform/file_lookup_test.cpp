// Clinic files found by name whatever the letter case on disk, and paths crossing between the service's texts
// (Windows-1251) and the file system (UTF-8).
#include "platform/file_lookup.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/code_page.h"
#include "platform/file_age.h"
#include "platform/path_text.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

TEST(FileLookup, FindsAClinicFileWhateverTheLetterCaseOfEitherName) {
  testing::TempFolder dir("vorel_lookup");
  for (const char* name : {"M2401.DBF", "KESTRUM.EXE", "ci003.dbf", "Ёлка.Dbf"})
    std::ofstream(dir / name) << "x";
  std::filesystem::create_directory(dir.path() / "C2402.DBF");
  const struct {
    std::string wanted, found;
  } cases[] = {{"m2401.dbf", "M2401.DBF"}, {"kestrum.exe", "KESTRUM.EXE"},
               {"CI003.DBF", "ci003.dbf"}, {Utf8ToAnsi("ёЛКА.dbf"), "Ёлка.Dbf"},
               {"c2402.dbf", ""},          {"missing.dbf", ""},
               {"../M2401.DBF", ""},       {"m2401.db?", ""}};
  for (const auto& c : cases) {
    const auto found = FindFileIgnoringCase(dir.path(), c.wanted);
    EXPECT_EQ(found ? found->filename().string() : "", c.found) << c.wanted;
  }
  std::ofstream(dir / "m2401.Fpt") << "x";
  EXPECT_EQ(FindCompanionFile(dir.path() / "M2401.DBF", "fpt"), dir.path() / "m2401.Fpt");
  EXPECT_EQ(FindCompanionFile(dir.path() / "M2401.DBF", "cdx"), std::nullopt);
}

TEST(FileLookup, AFileMadeBesideATableTakesTheLetterCaseOfItsName) {
  EXPECT_EQ(CompanionFilePath("/c/M2401.DBF", "cdx"), "/c/M2401.CDX");
  EXPECT_EQ(CompanionFilePath("/c/m2401.dbf", "CDX"), "/c/m2401.cdx");
  EXPECT_EQ(CompanionFilePath("/c/M2401.Dbf", "cdx"), "/c/M2401.cdx");
}

TEST(PathText, ACyrillicFolderSettingReachesTheFileSystemInUtf8AndBack) {
  testing::TempFolder dir("vorel_path");
  const std::filesystem::path folder = dir.path() / "клиника";
  std::filesystem::create_directory(folder);
  std::ofstream(folder / "KESTRUM.EXE") << "x";
  const std::string setting = Utf8ToAnsi(folder.string());
  EXPECT_EQ(FileSystemPath(setting), folder);
  EXPECT_EQ(PathText(folder), setting);
  EXPECT_EQ(FileAgeInFolder(setting, "kestrum.exe"), FileAge((folder / "KESTRUM.EXE").string()));
  EXPECT_GT(FileAgeInFolder(setting, "kestrum.exe"), 0);
  EXPECT_EQ(FileAgeInFolder(setting, "m2401.dbf"), -1);
}

}  // namespace
}  // namespace vorel
