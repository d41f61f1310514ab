#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/file_age.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"
#include "platform/process.h"
#include "platform/program_file.h"
#include "platform/program_location.h"
#include "platform/regional.h"
#include "platform/windows/locale_patterns.h"
#include "platform/windows/system_text.h"
#include "windows_temp_folder.h"

namespace vorel {
namespace {

using namespace std::chrono_literals;

// Sets the file's last-write time to a local date and time, through the system's own conversion.
void SetLocalWriteTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour, WORD minute,
                       WORD second) {
  SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0};
  FILETIME localTime{}, utc{};
  ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
  ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
  const HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
  CloseHandle(h);
}

class WindowsFileAge : public ::testing::Test {
 protected:
  std::string Touch(const std::string& name) {
    const std::string path = folder_.Path(name);
    std::ofstream(path) << "x";
    return path;
  }
  test::WindowsTempFolder folder_;
};

TEST_F(WindowsFileAge, PacksTheLocalWriteTime) {
  const std::string path = Touch("a.dbf");
  SetLocalWriteTime(path, 2026, 12, 7, 22, 38, 35);
  const auto age = static_cast<uint32_t>(FileAge(path));
  EXPECT_EQ(age >> 25, 2026u - 1980u);
  EXPECT_EQ((age >> 21) & 0xF, 12u);
  EXPECT_EQ((age >> 16) & 0x1F, 7u);
  EXPECT_EQ((age >> 11) & 0x1F, 22u);
  EXPECT_EQ((age >> 5) & 0x3F, 38u);
  EXPECT_EQ(age & 0x1F, 17u);  // two-second steps
  EXPECT_EQ(FileAge(path), PackDosDateTime(2026, 12, 7, 22, 38, 34));
}

TEST_F(WindowsFileAge, LaterWriteIsLargerAndMissingFolderOrUnpackableIsMinusOne) {
  const std::string older = Touch("old.dbf");
  const std::string newer = Touch("new.dbf");
  SetLocalWriteTime(older, 2025, 1, 31, 23, 59, 58);
  SetLocalWriteTime(newer, 2026, 2, 1, 0, 0, 0);
  EXPECT_GT(FileAge(newer), FileAge(older));
  EXPECT_GT(FileAge(older), 0);
  EXPECT_EQ(FileAge(folder_.Path("missing.dbf")), -1);
  EXPECT_EQ(FileAge(folder_.path()), -1);
  // A write time before 1980 cannot be packed.
  SetLocalWriteTime(older, 1979, 12, 31, 12, 0, 0);
  EXPECT_EQ(FileAge(older), -1);
  // Paths are Windows-1251 text, as every text of the service.
  if (!folder_.KeepsCyrillicNames()) GTEST_SKIP() << test::kNoCyrillicNames;
  const std::string cyrillic = Touch(std::string(AnsiText("Расписание.dbf").view()));
  EXPECT_GT(FileAge(cyrillic), 0);
  EXPECT_TRUE(std::filesystem::exists(folder_.WidePath(L"Расписание.dbf")));
}

// The file system ignores letter case itself; the search gives a file's name in the letter case the folder
// holds it in, and a file made beside a table follows it. A Cyrillic folder, given as text (1251), is found.
TEST_F(WindowsFileAge, FindsClinicFilesAsTheFolderNamesThem) {
  const std::string table = Touch("M2401.DBF");
  const auto found = FindFileIgnoringCase(PathOfNarrow(folder_.path()), "m2401.dbf");
  ASSERT_TRUE(found);
  EXPECT_EQ(PathText(*found), table);
  EXPECT_EQ(PathText(CompanionFilePath(*found, "cdx")), folder_.Path("M2401.CDX"));
  EXPECT_EQ(FileAgeInFolder(folder_.path(), "m2401.dbf"), FileAge(table));
  EXPECT_EQ(FileAgeInFolder(folder_.path(), "kestrum.exe"), -1);
  if (!folder_.KeepsCyrillicNames()) GTEST_SKIP() << test::kNoCyrillicNames;
  const std::string clinic = folder_.Path(std::string(AnsiText("Клиника").view()));
  ASSERT_TRUE(std::filesystem::create_directory(FileSystemPath(clinic)));
  const std::string exe = Touch(std::string(AnsiText("Клиника\\KESTRUM.EXE").view()));
  EXPECT_EQ(FileAgeInFolder(clinic, "kestrum.exe"), FileAge(exe));
  EXPECT_EQ(PathText(*FindFileIgnoringCase(FileSystemPath(clinic), "Kestrum.exe")), exe);
}

TEST(WindowsRegional, LocalePatternsBecomeFormatterPatterns) {
  auto r = windows::RegionalSettingsFromLocale("dd.MM.yyyy", "H:mm:ss", ",");
  EXPECT_EQ(r.FormatDate(2026, 3, 9), "09.03.2026");
  EXPECT_EQ(r.FormatTime(7, 5, 3), "7:05:03");
  EXPECT_EQ(r.decimalSeparator, ',');

  r = windows::RegionalSettingsFromLocale("M/d/yyyy", "h:mm:ss tt", ".");
  EXPECT_EQ(r.FormatDate(2026, 3, 9), "3/9/2026");
  EXPECT_EQ(r.FormatTime(19, 5, 3), "19:05:03");  // no AM/PM texts: the 24-hour clock
  EXPECT_EQ(r.decimalSeparator, '.');

  r = windows::RegionalSettingsFromLocale("tt hh:mm:ss", "tt hh:mm:ss", "");
  EXPECT_EQ(r.longTime, "HH:mm:ss");
  EXPECT_EQ(r.decimalSeparator, RegionalSettings{}.decimalSeparator);

  // Quoted literals lose their quotes; '' is one quote.
  const std::string year(AnsiText("г.").view());
  r = windows::RegionalSettingsFromLocale("dd.MM.yyyy' " + year + "'", "HH'h'mm''ss", ",");
  EXPECT_EQ(r.FormatDate(2026, 12, 31), "31.12.2026 " + year);
  EXPECT_EQ(r.longTime, "HHhmm'ss");

  r = windows::RegionalSettingsFromLocale("", "", "");
  EXPECT_EQ(r.shortDate, RegionalSettings{}.shortDate);
  EXPECT_EQ(r.longTime, RegionalSettings{}.longTime);
}

TEST(WindowsRegional, RussianSystemGivesTheRussianProfile) {
  if (GetACP() != 1251) GTEST_SKIP() << "the system is not Russian (ANSI code page " << GetACP() << ")";
  const RegionalSettings r = SystemRegionalSettings();
  EXPECT_EQ(r.shortDate, "dd.MM.yyyy");
  // Windows has "H:mm:ss", Wine "HH:mm:ss".
  EXPECT_TRUE(r.longTime == "H:mm:ss" || r.longTime == "HH:mm:ss") << r.longTime;
  EXPECT_EQ(r.decimalSeparator, ',');
  const SystemClock clock;
  const std::string text = DateTimeText(clock, r);
  ASSERT_GE(text.size(), 18u) << text;
  EXPECT_EQ(text[2], '.');
  EXPECT_EQ(text[5], '.');
  EXPECT_EQ(text[10], ' ');
  EXPECT_EQ(text[text.size() - 3], ':');
}

TEST(WindowsClock, LocalTimeIsUtcMovedByTheTimeZone) {
  const SystemClock clock;
  // A known instant keeps its milliseconds and seconds, and lies a whole number of minutes (at most 14 hours)
  // away from its UTC time.
  const int64_t unixMs = 1780000000123LL;  // 2026-05-28 20:26:40.123 UTC
  const LocalDateTime local =
      clock.ToLocal(std::chrono::system_clock::time_point(std::chrono::milliseconds(unixMs)));
  EXPECT_EQ(local.millisecond, 123);
  EXPECT_EQ(local.second, 40);
  const int64_t localSeconds = DaysFromCivil(local.year, local.month, local.day) * 86400 + local.hour * 3600 +
                               local.minute * 60 + local.second;
  const int64_t offset = localSeconds - unixMs / 1000;
  EXPECT_EQ(offset % 60, 0);
  EXPECT_LE(std::abs(offset), 14 * 3600);

  // Now, as the system itself shows local time (barring the turn of an hour between the two readings).
  SYSTEMTIME system{};
  GetLocalTime(&system);
  const LocalDateTime now = clock.LocalNow();
  if (system.wMinute != 59 || now.minute != 0) {
    EXPECT_EQ(now.year, system.wYear);
    EXPECT_EQ(now.month, system.wMonth);
    EXPECT_EQ(now.day, system.wDay);
    EXPECT_EQ(now.hour, system.wHour);
  }
}

TEST(WindowsProgramFile, NamesAndTheProgramTest) {
  EXPECT_EQ(ProgramFileName(), "vorel_service.exe");
  EXPECT_EQ(NewProgramFileName(), "vorel_servicenew.exe");
  EXPECT_TRUE(IsRunnableProgram(std::string("MZ\x90\0\3", 5)));
  EXPECT_FALSE(
      IsRunnableProgram("\x7F"
                        "ELF"));
  EXPECT_FALSE(IsRunnableProgram("<html>MZ"));
  EXPECT_FALSE(IsRunnableProgram("M"));
  EXPECT_FALSE(IsRunnableProgram(""));
}

TEST(WindowsSystemText, CodePage1251BothWaysAndPlainPaths) {
  const std::string ansi(AnsiText("Запись №1 «Ёж»").view());
  EXPECT_EQ(windows::AnsiToWide(ansi), L"Запись №1 «Ёж»");
  EXPECT_EQ(windows::WideToAnsi(L"Запись №1 «Ёж»"), ansi);
  EXPECT_EQ(windows::WideToAnsi(L"a\u4E2Db"), "a?b");  // what 1251 lacks
  EXPECT_EQ(windows::AnsiToWide(""), L"");

  EXPECT_EQ(windows::WithoutLongPathPrefix("\\\\?\\C:\\Svc\\vorel_service.exe"),
            "C:\\Svc\\vorel_service.exe");
  EXPECT_EQ(windows::WithoutLongPathPrefix("\\\\?\\UNC\\srv\\share\\a.exe"), "\\\\srv\\share\\a.exe");
  EXPECT_EQ(windows::WithoutLongPathPrefix("\\\\srv\\share\\a.exe"), "\\\\srv\\share\\a.exe");
  EXPECT_EQ(windows::WithoutLongPathPrefix("C:\\a.exe"), "C:\\a.exe");
}

TEST(WindowsProgramLocation, FolderOfTheRunningProgramWithTrailingBackslash) {
  const std::string path = ProgramPath();
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(path.rfind(folder, 0), 0u);
  EXPECT_EQ(ToLowerAnsi(path.substr(path.size() - 4)), ".exe");
  EXPECT_EQ(path.find('\\', folder.size()), std::string::npos);
  EXPECT_GT(FileAge(path), 0);
}

// Waits up to 30 s for the file that a started script writes.
bool AppearsSoon(const std::filesystem::path& file) {
  for (int i = 0; i < 300; ++i) {
    if (std::filesystem::exists(file) && std::filesystem::file_size(file) > 0) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Starts serv.bat in the folder `name` (Windows-1251) and waits for what it writes: its own name, so the
// quoting of the path is seen to work.
void RunScriptIn(const test::WindowsTempFolder& folder, const std::string& name,
                 const std::wstring& wideName) {
  const std::string sub = folder.Path(name);
  ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
  std::ofstream(sub + "\\serv.bat", std::ios::binary) << "@echo started %~nx0> \"%~dp0out.txt\"\r\n";
  SystemProcessLauncher launcher;
  launcher.StartDetached(sub + "\\serv.bat");
  const auto out = folder.WidePath(wideName + L"\\out.txt");
  ASSERT_TRUE(AppearsSoon(out));
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line.rfind("started serv.bat", 0), 0u) << line;
}

TEST(WindowsProcessLauncher, RunsAScriptInAFolderWithBlanks) {
  test::WindowsTempFolder folder;
  RunScriptIn(folder, "Vorel Service", L"Vorel Service");
  // A script that does not exist is no failure of the caller.
  SystemProcessLauncher().StartDetached(folder.Path("missing.bat"));
}

TEST(WindowsProcessLauncher, RunsAScriptInACyrillicFolder) {
  test::WindowsTempFolder folder;
  if (!folder.KeepsCyrillicNames()) GTEST_SKIP() << test::kNoCyrillicNames;
  RunScriptIn(folder, std::string(AnsiText("Служба записи").view()), L"Служба записи");
}

}  // namespace
}  // namespace vorel
