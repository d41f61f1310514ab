#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exchange/admin_commands.h"
#include "exchange/admin_scripts.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/http_client_factory.h"
#include "platform/oem_text.h"
#include "windows_temp_folder.h"
#include "winsock_http_server.h"

// <windows.h> renames AnsiToOem to CharToOemA; here it is the service's own table.
#undef AnsiToOem

// The self-update as the Windows build does it: the download through WinHTTP, the program files' Windows
// names, the "MZ" test, the serv.bat of the command processor with the folder in code page 866.
namespace vorel {
namespace {

class RecordingLauncher : public ProcessLauncher {
 public:
  std::vector<std::string> started;
  void StartDetached(const std::string& path) override { started.push_back(path); }
};

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(WindowsAdminUpdate, SavesAWindowsProgramAndWritesServBat) {
  std::string served(131072, '\0');
  for (size_t i = 0; i < served.size(); ++i) served[i] = static_cast<char>(i * 7 % 256);
  served[0] = 'M';
  served[1] = 'Z';
  std::string answer = served;
  test::WinsockHttpServer server(
      [&](const test::HttpRequest&, test::HttpResponse& res) { res.body = answer; });
  test::WindowsTempFolder folder;
  const std::string program = folder.path() + "\\";

  auto client = CreateHttpClient();
  RecordingLauncher launcher;
  SystemClock clock;
  AdminContext ctx{*client,
                   launcher,
                   clock,
                   "d:\\clinic",
                   program,
                   folder.path(),
                   "127.0.0.1:" + std::to_string(server.port())};
  EXPECT_EQ(AdminUpdate(ctx), "start load file create load... Size:131072");
  EXPECT_EQ(ReadFile(folder.WidePath(L"vorel_servicenew.exe")), served);
  ASSERT_EQ(launcher.started.size(), 1u);
  EXPECT_EQ(launcher.started[0], program + "serv.bat");
  EXPECT_EQ(ReadFile(folder.WidePath(L"serv.bat")), WindowsUpdateScript(program, "VorelService"));
  EXPECT_EQ(server.Requests().at(0).target.rfind("/upload/vorel_service.zip?", 0), 0u);

  // A large page that is no Windows program (an ELF image, a proxy's error page) is never installed.
  std::filesystem::remove(folder.WidePath(L"vorel_servicenew.exe"));
  answer =
      "\x7F"
      "ELF" +
      std::string(150000, 'x');
  EXPECT_EQ(AdminUpdate(ctx), "file load error");
  answer = "<html>" + std::string(150000, 'x');
  EXPECT_EQ(AdminUpdate(ctx), "file load error");
  EXPECT_FALSE(std::filesystem::exists(folder.WidePath(L"vorel_servicenew.exe")));
  EXPECT_EQ(launcher.started.size(), 1u);
}

TEST(WindowsOemText, SystemConversionKeepsLengthAndFitsWhat866Lacks) {
  EXPECT_EQ(SystemAnsiToOem(""), "");
  // Cyrillic letters have their own place in 866, as the table has them.
  const std::string folder(AnsiText("C:\\Программы\\Ёлка ёж\\").view());
  EXPECT_EQ(SystemAnsiToOem(folder), AnsiToOem(folder));
  EXPECT_EQ(SystemAnsiToOem(folder).size(), folder.size());
  // What 866 lacks takes its nearest look-alike, as the system converts it.
  const std::string marks(AnsiText("«ё» – № 1").view());
  EXPECT_EQ(SystemAnsiToOem(marks), std::string("<\xF1> - \xFC 1"));
  EXPECT_EQ(ToOemText(marks), SystemAnsiToOem(marks));
}

TEST(WindowsOemText, UpdateScriptCarriesTheFolderInTheOemCodePage) {
  const std::string folder(AnsiText("D:\\Служба «Запись»\\").view());
  const std::string script = WindowsUpdateScript(folder, "VorelService");
  const std::string oem = SystemAnsiToOem(folder);
  EXPECT_EQ(
      script,
      "D:\r\ncd \"" + oem + "\"\r\n%systemroot%\\system32\\net stop VorelService\r\n" +
          "TIMEOUT /T 10 /NOBREAK\r\ndel \"" + oem + "vorel_service.exe\"\r\nrename \"" + oem +
          "vorel_servicenew.exe\" vorel_service.exe\r\n%systemroot%\\system32\\net start VorelService\r\n");
  EXPECT_NE(oem.find('<'), std::string::npos);
}

}  // namespace
}  // namespace vorel
