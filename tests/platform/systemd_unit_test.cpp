#include "platform/posix/systemd_unit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/code_page.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const ServiceIdentity kIdentity{"VorelService", AnsiText("VorelServer - Запись через интернет").str()};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

class SystemdUnitTest : public ::testing::Test {
 protected:
  SystemdUnitTest() {
    options_.unitFolder = dir_ / "units";
    fs::create_directories(options_.unitFolder);
    options_.programPath = "/opt/vorel/vorel_service";
    options_.stateLocation = "/var/lib/vorel_service/state.db";
  }

  // A stand-in for systemctl that notes its arguments and fails for the verb `failOn`.
  void FakeSystemctl(const std::string& failOn = "none") {
    options_.systemdRunning = true;
    options_.systemctl = dir_ / "systemctl";
    std::ofstream(options_.systemctl)
        << "#!/bin/sh\necho \"$*\" >> '" << (dir_ / "calls") << "'\n"
        << "[ \"$1\" = '" << failOn << "' ] && echo \"Failed to $1 unit: Access denied\" >&2 && exit 3\n"
        << "exit 0\n";
    fs::permissions(options_.systemctl, fs::perms::owner_all);
  }
  std::string Calls() { return TempFolder::ReadFile(dir_ / "calls"); }
  std::string UnitFile() { return SystemdUnitPath(kIdentity, options_); }

  TempFolder dir_;
  SystemdUnitOptions options_;
};

TEST_F(SystemdUnitTest, UnitTextNamesTheProgramTheStoreAndTheRestartRule) {
  EXPECT_EQ(UnitFile(), dir_ / "units/VorelService.service");
  EXPECT_EQ(SystemdUnitText(kIdentity, options_),
            "[Unit]\n"
            "Description=VorelServer - Запись через интернет\n"
            "Wants=network-online.target\n"
            "After=network-online.target\n"
            "\n[Service]\n"
            "Type=simple\n"
            "ExecStart=\"/opt/vorel/vorel_service\"\n"
            "Environment=\"VOREL_STATE=/var/lib/vorel_service/state.db\"\n"
            "Environment=VOREL_UNIT=%n\n"
            "Restart=on-failure\n"
            "RestartSec=10\n"
            "\n[Install]\n"
            "WantedBy=multi-user.target\n");

  options_.programPath = "/opt/my \"vorel\" 100%/vorel_service";
  options_.stateLocation = "/srv/a\\b/state.db";
  const std::string text = SystemdUnitText(kIdentity, options_);
  EXPECT_NE(text.find("ExecStart=\"/opt/my \\\"vorel\\\" 100%%/vorel_service\"\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Environment=\"VOREL_STATE=/srv/a\\\\b/state.db\"\n"), std::string::npos) << text;
}

TEST_F(SystemdUnitTest, InstallAndUninstallWithoutSystemd) {
  EXPECT_EQ(InstallSystemdUnit(kIdentity, options_),
            "Unit file written: " + UnitFile() +
                "\nsystemd is not running here: the unit is not enabled (run systemctl daemon-reload and "
                "systemctl enable VorelService.service where it runs)");
  EXPECT_EQ(TempFolder::ReadFile(UnitFile()), SystemdUnitText(kIdentity, options_));
  EXPECT_EQ(fs::status(UnitFile()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

  std::ofstream(UnitFile(), std::ios::app) << "# edited\n";
  EXPECT_EQ(ErrorOf([&] { InstallSystemdUnit(kIdentity, options_); }),
            "The unit file " + UnitFile() + " exists already");
  EXPECT_NE(TempFolder::ReadFile(UnitFile()).find("# edited"), std::string::npos);

  EXPECT_EQ(UninstallSystemdUnit(kIdentity, options_),
            "Unit file removed: " + UnitFile() + "\nsystemd is not running here: nothing was disabled");
  EXPECT_FALSE(fs::exists(UnitFile()));
  EXPECT_EQ(ErrorOf([&] { UninstallSystemdUnit(kIdentity, options_); }),
            "The unit file " + UnitFile() + " does not exist");
  EXPECT_EQ(fs::directory_iterator(options_.unitFolder), fs::directory_iterator());
}

TEST_F(SystemdUnitTest, SystemctlReloadsEnablesAndDisables) {
  FakeSystemctl();
  EXPECT_EQ(InstallSystemdUnit(kIdentity, options_),
            "Unit file written: " + UnitFile() +
                "\nsystemd: units reloaded, VorelService.service enabled; start it with: systemctl start "
                "VorelService");
  EXPECT_EQ(Calls(), "daemon-reload\nenable VorelService.service\n");
  EXPECT_EQ(UninstallSystemdUnit(kIdentity, options_),
            "Unit file removed: " + UnitFile() + "\nsystemd: VorelService.service disabled, units reloaded");
  EXPECT_EQ(Calls(),
            "daemon-reload\nenable VorelService.service\ndisable VorelService.service\ndaemon-reload\n");
  EXPECT_FALSE(fs::exists(UnitFile()));
}

TEST_F(SystemdUnitTest, FailedEnableLeavesNoUnitBehind) {
  FakeSystemctl("enable");
  EXPECT_EQ(ErrorOf([&] { InstallSystemdUnit(kIdentity, options_); }),
            options_.systemctl +
                " enable VorelService.service failed with status 3: Failed to enable unit: "
                "Access denied");
  EXPECT_FALSE(fs::exists(UnitFile()));
  EXPECT_EQ(Calls(), "daemon-reload\nenable VorelService.service\ndaemon-reload\n");

  options_.systemctl = dir_ / "no-such-systemctl";
  const std::string missing = ErrorOf([&] { InstallSystemdUnit(kIdentity, options_); });
  EXPECT_EQ(missing.rfind("Cannot run " + options_.systemctl + " daemon-reload", 0), 0u) << missing;
  EXPECT_FALSE(fs::exists(UnitFile()));
}

TEST_F(SystemdUnitTest, FailedDisableKeepsTheUnit) {
  FakeSystemctl("disable");
  InstallSystemdUnit(kIdentity, options_);
  EXPECT_THROW(UninstallSystemdUnit(kIdentity, options_), Error);
  EXPECT_TRUE(fs::exists(UnitFile()));
}

TEST_F(SystemdUnitTest, UnwritableUnitFolderFailsClearly) {
  options_.unitFolder = dir_ / "missing/folder";
  EXPECT_EQ(ErrorOf([&] { InstallSystemdUnit(kIdentity, options_); }),
            "Cannot write the unit file " + UnitFile() + ": No such file or directory");
}

}  // namespace
}  // namespace vorel
