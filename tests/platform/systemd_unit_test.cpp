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

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST_F(SystemdUnitTest, UnitTextNamesTheProgramTheStoreAndTheRestartRule) {
  EXPECT_EQ(UnitFile(), dir_ / "units/VorelService.service");
  const std::string text = SystemdUnitText(kIdentity, options_);
  EXPECT_EQ(text.rfind("[Unit]\nDescription=VorelServer - Запись через интернет\n", 0), 0u) << text;
  for (const char* line :
       {"Type=notify", "ExecStart=\"/opt/vorel/vorel_service\"",
        "Environment=\"VOREL_STATE=/var/lib/vorel_service/state.db\"", "Environment=VOREL_UNIT=%n",
        "Restart=on-failure", "WatchdogSec=15min", "ProtectSystem=full",
        // adm_update replaces the program in its own folder.
        "ReadWritePaths=\"-/opt/vorel\"", "NoNewPrivileges=yes", "PrivateTmp=yes",
        "ProtectKernelTunables=yes", "ProtectControlGroups=yes", "RestrictSUIDSGID=yes",
        "SystemCallFilter=@system-service",
        "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER",
        "WantedBy=multi-user.target"}) {
    EXPECT_TRUE(HasLine(text, line)) << line << "\n" << text;
  }
  EXPECT_EQ(text.find("VOREL_UPDATE_FOLDER"), std::string::npos);

  options_.programPath = "/opt/my \"vorel\" 100%/vorel_service";
  options_.stateLocation = "/srv/a\\b/state.db";
  const std::string quoted = SystemdUnitText(kIdentity, options_);
  EXPECT_TRUE(HasLine(quoted, "ExecStart=\"/opt/my \\\"vorel\\\" 100%%/vorel_service\"")) << quoted;
  EXPECT_TRUE(HasLine(quoted, "Environment=\"VOREL_STATE=/srv/a\\\\b/state.db\"")) << quoted;
  EXPECT_TRUE(HasLine(quoted, "ReadWritePaths=\"-/opt/my \\\"vorel\\\" 100%%\"")) << quoted;
}

// The packaged units: the program stays as installed and adm_update writes to the update folder; the
// template's instance NAME keeps its store as NAME.db.
TEST_F(SystemdUnitTest, PackagedUnitAndTemplate) {
  options_.updateFolder = "/var/lib/vorel_service/update";
  const std::string text = SystemdUnitText(kIdentity, options_);
  for (const char* line : {"Environment=\"VOREL_UPDATE_FOLDER=/var/lib/vorel_service/update\"",
                           "ReadWritePaths=\"-/var/lib/vorel_service/update\""}) {
    EXPECT_TRUE(HasLine(text, line)) << line << "\n" << text;
  }
  options_.templateUnit = true;
  options_.stateLocation = "/var/lib/vorel_%service";
  EXPECT_EQ(UnitFile(), dir_ / "units/VorelService@.service");
  const std::string instance = SystemdUnitText(kIdentity, options_);
  EXPECT_TRUE(HasLine(instance, "Description=VorelServer - Запись через интернет (%i)")) << instance;
  EXPECT_TRUE(HasLine(instance, "Environment=\"VOREL_STATE=/var/lib/vorel_%%service/%i.db\"")) << instance;
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
