#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/windows/service_event_kinds.h"
#include "platform/windows/service_failure_actions.h"
#include "service/service_identity.h"

// What the installation hands to the system besides the registration itself, checked where Wine cannot show
// it: the failure actions (Wine's service manager keeps none), the event log's messages (Wine has no Event
// Viewer: FormatMessage reads them as it would) and the program's version resource.
namespace vorel {
namespace {

TEST(ServiceFailureActions, EveryFailureRestartsAfterTenSecondsCountedAnewAfterADay) {
  const windows::ServiceFailureActions failure;
  const SERVICE_FAILURE_ACTIONSW& actions = failure.actions();
  EXPECT_EQ(actions.dwResetPeriod, 24u * 60 * 60);
  EXPECT_EQ(actions.lpRebootMsg, nullptr);
  EXPECT_EQ(actions.lpCommand, nullptr);
  ASSERT_EQ(actions.cActions, 3u);
  for (DWORD i = 0; i < actions.cActions; ++i) {
    EXPECT_EQ(actions.lpsaActions[i].Type, SC_ACTION_RESTART) << i;
    EXPECT_EQ(actions.lpsaActions[i].Delay, 10000u) << i;
  }
  EXPECT_TRUE(failure.flag().fFailureActionsOnNonCrashFailures);
}

// vorel_service.exe beside this test program, loaded for its resources.
class ServiceProgramResources : public ::testing::Test {
 protected:
  static std::string ProgramPath() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1) + "vorel_service.exe";
  }
  void SetUp() override {
    module_.reset(LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module_) << path_;
  }
  struct Unload {
    void operator()(HMODULE m) const { FreeLibrary(m); }
  };
  const std::string path_ = ProgramPath();
  std::unique_ptr<std::remove_pointer_t<HMODULE>, Unload> module_;
};

TEST_F(ServiceProgramResources, EveryEventReadsAsItsOwnTextWithTheLevelOfItsPriority) {
  // A percent sign and a line break of the event's own must come out as they went in.
  const std::string text = AnsiText("не открываются таблицы в C:\\clinic (100%1)\r\nвторая строка").str();
  const struct {
    EventPriority priority;
    WORD type;
  } cases[] = {{EventPriority::kCritical, EVENTLOG_ERROR_TYPE},
               {EventPriority::kError, EVENTLOG_ERROR_TYPE},
               {EventPriority::kWarning, EVENTLOG_WARNING_TYPE},
               {EventPriority::kNotice, EVENTLOG_INFORMATION_TYPE},
               {EventPriority::kInfo, EVENTLOG_INFORMATION_TYPE}};
  for (const auto& c : cases) {
    const windows::EventKind kind = windows::EventKindOf(c.priority);
    EXPECT_EQ(kind.type, c.type) << static_cast<int>(c.priority);
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
    char buffer[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_.get(),
                       kind.messageId, 0, buffer, sizeof buffer, reinterpret_cast<va_list*>(args));
    EXPECT_EQ(std::string(buffer, length), text)
        << "priority " << static_cast<int>(c.priority) << ": " << GetLastError();
  }
}

// 620 is 6.2.0.0: an installer replaces the program of an older release.
TEST_F(ServiceProgramResources, VersionResourceFollowsTheServiceVersion) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length));
  const std::string_view v = kServiceVersion;
  const DWORD major = std::stoul(std::string(v.substr(0, v.size() - 2)));
  EXPECT_EQ(info->dwFileVersionMS, MAKELONG(v[v.size() - 2] - '0', major));
  EXPECT_EQ(info->dwFileVersionLS, MAKELONG(0, v.back() - '0'));
  EXPECT_EQ(info->dwProductVersionMS, info->dwFileVersionMS);
}

}  // namespace
}  // namespace vorel
