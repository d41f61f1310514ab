#include "exchange/admin_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "exchange/admin_scripts.h"
#include "platform/code_page.h"
#include "platform/http_client_factory.h"
#include "support/local_http_server.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ScriptedHttpClient : public HttpClient {
 public:
  std::string body;
  bool fail = false;
  std::string lastUrl;
  std::string Post(const std::string&, const std::string&, const std::string&) override { return {}; }
  std::string Get(const std::string& url) override {
    lastUrl = url;
    if (fail) throw HttpConnectError("Connection refused");
    return body;
  }
  ProxySettings& proxy() override { return proxy_; }
  void Disconnect() override {}

 private:
  ProxySettings proxy_;
};

class RecordingLauncher : public ProcessLauncher {
 public:
  std::vector<std::string> started;
  void StartDetached(const std::string& path) override { started.push_back(path); }
};

std::string ElfImage(std::size_t size) {
  std::string image(size, 'x');
  image.replace(0, 4,
                "\x7F"
                "ELF");
  return image;
}

class AdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("admin_test_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_ / "prog");
    fs::create_directories(dir_ / "state");
  }
  void TearDown() override {
    fs::permissions(dir_ / "prog", fs::perms::owner_all);
    fs::remove_all(dir_);
  }
  AdminContext Context() {
    return AdminContext{http_,
                        launcher_,
                        clock_,
                        "d:\\clinic",
                        (dir_ / "prog").string() + "/",
                        (dir_ / "state").string(),
                        "updates.example"};
  }
  fs::path dir_;
  ScriptedHttpClient http_;
  RecordingLauncher launcher_;
  SystemClock clock_;
};

TEST_F(AdminTest, InfoListsVersionBaseAndProgramFolderUnescaped) {
  AdminContext ctx = Context();
  ctx.programFolder = "C:\\Svc\\";
  EXPECT_EQ(AdminInfo(ctx), "{\"version\":\"620\",\"base\":\"d:\\clinic\",\"path\":\"C:\\Svc\\\"}");
}

// The program and state folders are file-system paths (UTF-8); what reaches the portal is text
// (Windows-1251).
TEST_F(AdminTest, CyrillicFoldersAreWrittenInUtf8AndReportedAsText) {
  fs::create_directories(dir_ / "программа");
  fs::create_directories(dir_ / "состояние");
  AdminContext ctx = Context();
  ctx.programFolder = (dir_ / "программа").string() + "/";
  ctx.stateStoreFolder = (dir_ / "состояние").string();
  EXPECT_EQ(AdminInfo(ctx), "{\"version\":\"620\",\"base\":\"d:\\clinic\",\"path\":\"" +
                                Utf8ToAnsi(ctx.programFolder) + "\"}");
  EXPECT_EQ(AdminRestart(ctx), "restart... " + Utf8ToAnsi(ctx.stateStoreFolder + "/serv.sh"));
  EXPECT_TRUE(fs::exists(dir_ / "состояние" / "serv.sh"));
  http_.body = ElfImage(100001);
  EXPECT_EQ(AdminUpdate(ctx), "start load file create load... Size:100001");
  EXPECT_TRUE(fs::exists(dir_ / "программа" / "vorel_servicenew"));
}

TEST_F(AdminTest, UpdateRefusesSmallOrForeignDownloadsAndWritesNothing) {
  AdminContext ctx = Context();
  http_.body = ElfImage(100000);
  EXPECT_EQ(AdminUpdate(ctx), "file load error");
  EXPECT_EQ(http_.lastUrl.rfind("http://updates.example/upload/vorel_service.zip?", 0), 0u);
  // A large error page from a proxy is not a program either.
  http_.body = std::string(200000, '<');
  EXPECT_EQ(AdminUpdate(ctx), "file load error");
  EXPECT_TRUE(fs::is_empty(dir_ / "prog"));
  EXPECT_TRUE(launcher_.started.empty());
}

TEST_F(AdminTest, UpdateSavesProgramWritesScriptAndStartsIt) {
  AdminContext ctx = Context();
  http_.body = ElfImage(100001);
  EXPECT_EQ(AdminUpdate(ctx), "start load file create load... Size:100001");
  EXPECT_EQ(ReadFile(dir_ / "prog" / "vorel_servicenew"), http_.body);
  // Runnable as it lies, so that the script's one rename puts a working program in place.
  EXPECT_EQ(fs::status(dir_ / "prog" / "vorel_servicenew").permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                fs::perms::others_exec);
  const std::string script = ReadFile(dir_ / "prog" / "serv.sh");
  EXPECT_EQ(script, PosixUpdateScript(ctx.programFolder, "vorel_servicenew", "VorelService"));
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0], ctx.programFolder + "serv.sh");
  // A second run overwrites both files and leaves no temporary file behind.
  http_.body = ElfImage(150000);
  EXPECT_EQ(AdminUpdate(ctx), "start load file create load... Size:150000");
  EXPECT_EQ(fs::file_size(dir_ / "prog" / "vorel_servicenew"), 150000u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "prog"), fs::directory_iterator()), 2);
}

// Instances of a template unit share the program folder and the state store folder: each has its own
// scripts and download, and its scripts stop and start its own unit.
TEST_F(AdminTest, InstancesNeverShareScriptsOrDownloads) {
  AdminContext clinic2 = Context();
  clinic2.serviceName = "VorelService@clinic2.service";
  AdminContext main = Context();
  main.serviceName = "VorelService.service";
  http_.body = ElfImage(100001);
  EXPECT_EQ(AdminUpdate(clinic2), "start load file create load... Size:100001");
  EXPECT_EQ(AdminRestart(clinic2), "restart... " + (dir_ / "state" / "serv@clinic2.sh").string());
  EXPECT_EQ(ReadFile(dir_ / "prog" / "serv@clinic2.sh"),
            PosixUpdateScript(clinic2.programFolder, "vorel_servicenew@clinic2", clinic2.serviceName));
  EXPECT_NE(
      ReadFile(dir_ / "state" / "serv@clinic2.sh").find("systemctl stop 'VorelService@clinic2.service'"),
      std::string::npos);
  EXPECT_EQ(AdminRestart(main), "restart... " + (dir_ / "state" / "serv.sh").string());
  EXPECT_TRUE(fs::exists(dir_ / "prog" / "vorel_servicenew@clinic2"));
  EXPECT_FALSE(fs::exists(dir_ / "prog" / "vorel_servicenew"));
}

// Where the installed program must stay as installed (a package's), the download, its script and the swap
// go to the update folder, which is made when missing.
TEST_F(AdminTest, UpdateGoesToTheUpdateFolderWhenThereIsOne) {
  AdminContext ctx = Context();
  ctx.updateFolder = (dir_ / "state" / "update").string() + "/";
  http_.body = ElfImage(100001);
  EXPECT_EQ(AdminUpdate(ctx), "start load file create load... Size:100001");
  EXPECT_EQ(ReadFile(dir_ / "state" / "update" / "vorel_servicenew"), http_.body);
  EXPECT_EQ(ReadFile(dir_ / "state" / "update" / "serv.sh"),
            PosixUpdateScript(ctx.updateFolder, "vorel_servicenew", "VorelService"));
  EXPECT_TRUE(fs::is_empty(dir_ / "prog"));
}

TEST(AdminScripts, InstanceSuffixOfUnitNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"VorelService", ""},
      {"VorelService.service", ""},
      {"VorelService@clinic2.service", "@clinic2"},
      {"VorelService@a\\x2db", "@a\\x2db"},
      {"vorel.service", "-vorel"},
      {"VorelServiceX.service", "-VorelServiceX"},
  };
  for (const auto& [unit, suffix] : cases) EXPECT_EQ(InstanceSuffix(unit), suffix) << unit;
}

TEST_F(AdminTest, UpdateFailureTexts) {
  AdminContext ctx = Context();
  http_.fail = true;
  EXPECT_EQ(AdminUpdate(ctx), " *Connection refused message: HttpConnectError");
  http_.fail = false;
  http_.body = ElfImage(100001);
  if (getuid() != 0) {  // root writes through any permission bits
    fs::permissions(dir_ / "prog", fs::perms::owner_read | fs::perms::owner_exec);
  } else {  // a folder that cannot be made: under a file
    std::ofstream(dir_ / "file") << "not a folder";
    ctx.programFolder = (dir_ / "file" / "sub").string() + "/";
  }
  const std::string answer = AdminUpdate(ctx);
  EXPECT_EQ(answer.rfind("start load  *Cannot create file \"", 0), 0u) << answer;
  EXPECT_NE(answer.find(" message: FileWriteError"), std::string::npos) << answer;
  EXPECT_TRUE(launcher_.started.empty());

  // A save that fails halfway leaves an earlier download whole.
  ctx.programFolder = (dir_ / "prog").string() + "/";
  fs::permissions(dir_ / "prog", fs::perms::owner_all);
  std::ofstream(dir_ / "prog" / "vorel_servicenew") << "earlier download";
  fs::create_directory(dir_ / "prog" / "vorel_servicenew.part");
  EXPECT_NE(AdminUpdate(ctx).find(" message: FileWriteError"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "prog" / "vorel_servicenew"), "earlier download");
  EXPECT_TRUE(launcher_.started.empty());
}

TEST_F(AdminTest, RestartWritesScriptBesideStateStore) {
  AdminContext ctx = Context();
  const std::string path = (dir_ / "state" / "serv.sh").string();
  EXPECT_EQ(AdminRestart(ctx), "restart... " + path);
  EXPECT_EQ(ReadFile(path), PosixRestartScript("VorelService"));
  ASSERT_EQ(launcher_.started.size(), 1u);
  ctx.stateStoreFolder = (dir_ / "missing").string();
  const std::string answer = AdminRestart(ctx);
  EXPECT_NE(answer.find(std::string(AnsiText(" сообщение: FileWriteError").view())), std::string::npos)
      << answer;
  EXPECT_EQ(launcher_.started.size(), 1u);
}

// The download through the platform's real HTTP client from a local update server: the program arrives
// byte for byte, a server error page or a missing file is refused, and a dead server is a connect error.
TEST_F(AdminTest, UpdateThroughRealClientFromLocalServer) {
  std::string served = ElfImage(131072);
  for (std::size_t i = 4; i < served.size(); ++i) served[i] = static_cast<char>(i * 7 % 256);  // NULs too
  int status = 200;
  std::string requested;
  test::LocalHttpServer server;
  server.server().Get("/upload/vorel_service.zip", [&](const httplib::Request& req, httplib::Response& res) {
    requested = req.target;
    res.status = status;
    if (status == 200) {
      res.set_content(served, "application/zip");
    } else {
      res.set_content(std::string(150000, 'e'), "text/html");
    }
  });
  server.server().set_keep_alive_max_count(1);  // no idle connection to wait for when the server stops
  server.Start();

  std::unique_ptr<HttpClient> client = CreateHttpClient();
  AdminContext ctx{*client,
                   launcher_,
                   clock_,
                   "d:\\clinic",
                   (dir_ / "prog").string() + "/",
                   (dir_ / "state").string(),
                   "127.0.0.1:" + std::to_string(server.port())};
  EXPECT_EQ(AdminUpdate(ctx), "start load file create load... Size:131072");
  EXPECT_EQ(requested.rfind("/upload/vorel_service.zip?", 0), 0u) << requested;
  EXPECT_EQ(ReadFile(dir_ / "prog" / "vorel_servicenew"), served);
  ASSERT_EQ(launcher_.started.size(), 1u);

  fs::remove(dir_ / "prog" / "vorel_servicenew");
  status = 404;
  const std::string missing = AdminUpdate(ctx);
  EXPECT_EQ(missing.rfind(" *", 0), 0u) << missing;
  EXPECT_NE(missing.find(" message: HttpStatusError"), std::string::npos) << missing;
  EXPECT_FALSE(fs::exists(dir_ / "prog" / "vorel_servicenew"));
  EXPECT_EQ(launcher_.started.size(), 1u);

  server.Stop();
  const std::string dead = AdminUpdate(ctx);
  EXPECT_EQ(dead.rfind(" *", 0), 0u) << dead;
  EXPECT_NE(dead.find(" message: HttpConnectError"), std::string::npos) << dead;
  EXPECT_EQ(launcher_.started.size(), 1u);
}

TEST(AdminScripts, WindowsUpdateScriptIsByteExactWithOemFolder) {
  const std::string folder(AnsiText("C:\\Программы\\Запись\\").view());
  const std::string oem = AnsiToOem(folder);
  EXPECT_EQ(WindowsUpdateScript(folder, "VorelService"),
            "C:\r\n"
            "cd \"" +
                oem +
                "\"\r\n"
                "%systemroot%\\system32\\net stop VorelService\r\n"
                "TIMEOUT /T 10 /NOBREAK\r\n"
                "del \"" +
                oem +
                "vorel_service.exe\"\r\n"
                "rename \"" +
                oem +
                "vorel_servicenew.exe\" vorel_service.exe\r\n"
                "%systemroot%\\system32\\net start VorelService\r\n");
  EXPECT_EQ(oem.substr(3, 9), "\x8F\xE0\xAE\xA3\xE0\xA0\xAC\xAC\xEB");  // Программы in 866
}

TEST(AdminScripts, WindowsScriptsForNetworkShareAndRestart) {
  const std::string script = WindowsUpdateScript("\\\\server\\svc\\", "VorelService");
  EXPECT_EQ(script.substr(0, 4), "\\:\r\n");
  EXPECT_NE(script.find("cd \"\\\\server\\svc\\\"\r\n"), std::string::npos);
  EXPECT_EQ(
      WindowsRestartScript("VorelService"),
      "%systemroot%\\system32\\net stop VorelService\r\n%systemroot%\\system32\\net start VorelService\r\n");
}

// Both wait for the answer to leave with the next request; the update swaps the program with one rename.
TEST(AdminScripts, PosixScriptsWaitThenStopSwapAndStartTheUnit) {
  EXPECT_EQ(PosixUpdateScript("/opt/it's/", "vorel_servicenew@a", "VorelService@a.service"),
            "#!/bin/sh\n"
            "sleep 5\n"
            "systemctl stop 'VorelService@a.service'\n"
            "mv -f '/opt/it'\\''s/vorel_servicenew@a' '/opt/it'\\''s/vorel_service'\n"
            "systemctl start 'VorelService@a.service'\n");
  EXPECT_EQ(PosixRestartScript("VorelService"),
            "#!/bin/sh\nsleep 5\nsystemctl stop 'VorelService'\nsystemctl start 'VorelService'\n");
}

bool AppearsWithin(const fs::path& file, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!fs::exists(file) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return fs::exists(file);
}

TEST(SystemProcessLauncher, StartsScriptWithoutWaitingForIt) {
  testing::TempFolder dir;
  const fs::path marker = dir / "done";
  std::ofstream(dir / "slow.sh") << "sleep 2\necho ran > '" << marker.string() << "'\n";
  SystemProcessLauncher launcher({.systemdRunning = false});
  const auto start = std::chrono::steady_clock::now();
  launcher.StartDetached(dir / "slow.sh");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_TRUE(AppearsWithin(marker, std::chrono::seconds(5)));
}

// Where systemd runs, the script becomes a transient unit; when systemd-run fails or is missing, the script
// still starts, detached.
TEST(SystemProcessLauncher, HandsScriptToSystemdRunAndFallsBackWhenItFails) {
  testing::TempFolder dir;
  const fs::path marker = dir / "ran";
  std::ofstream(dir / "script.sh") << "echo ran > '" << marker.string() << "'\n";
  for (const int status : {0, 1}) {
    std::ofstream(dir / "systemd-run")
        << "#!/bin/sh\necho \"$*\" > '" << (dir / "args") << "'\nexit " << status << "\n";
    fs::permissions(dir / "systemd-run", fs::perms::owner_all);
    SystemProcessLauncher({.systemdRunning = true, .systemdRun = dir / "systemd-run"})
        .StartDetached(dir / "script.sh");
    EXPECT_EQ(testing::TempFolder::ReadFile(dir / "args"),
              "--no-block --collect --quiet --no-ask-password --description=Vorel service script " +
                  (dir / "script.sh") + " /bin/sh " + (dir / "script.sh") + "\n");
    EXPECT_EQ(AppearsWithin(marker, std::chrono::milliseconds(status == 0 ? 300 : 5000)), status != 0)
        << "systemd-run exit status " << status;
  }
  fs::remove(marker);
  SystemProcessLauncher({.systemdRunning = true, .systemdRun = dir / "missing"})
      .StartDetached(dir / "script.sh");
  EXPECT_TRUE(AppearsWithin(marker, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace vorel
