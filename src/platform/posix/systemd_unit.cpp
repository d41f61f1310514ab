#include "platform/posix/systemd_unit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/code_page.h"
#include "platform/posix/run_program.h"
#include "platform/program_location.h"
#include "platform/service_registration.h"
#include "platform/state_store_factory.h"

namespace vorel {
namespace {

namespace fs = std::filesystem;

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// A unit file value: '%' starts a specifier and must be doubled.
std::string EscapeSpecifiers(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// The inside of a double-quoted word: quotes and backslashes escaped.
std::string QuotedInner(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// One word in double quotes, for ExecStart=, Environment= and paths.
std::string Quoted(std::string_view text) {
  return "\"" + QuotedInner(EscapeSpecifiers(text)) + "\"";
}

void RunSystemctl(const SystemdUnitOptions& options, std::vector<std::string> args) {
  args.insert(args.begin(), options.systemctl);
  RunProgram(std::move(args));
}

void WriteUnitFile(const std::string& path, const std::string& text) {
  // Written beside and renamed into place, so the folder never holds half a unit.
  const std::string temp = path + ".tmp";
  auto fail = [&](int error) {
    ::unlink(temp.c_str());
    throw Error("Cannot write the unit file " + Utf8ToAnsi(path) + ": " + std::strerror(error));
  };
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail(errno);
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      fail(error);
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::fchmod(fd, 0644) != 0 || ::close(fd) != 0) fail(errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace

SystemdUnitOptions SystemdUnitOptionsFromEnvironment() {
  SystemdUnitOptions options;
  options.unitFolder = EnvOr("VOREL_UNIT_DIR", "/etc/systemd/system");
  options.programPath = ProgramPath();
  options.stateLocation = StateStoreLocation();
  options.updateFolder = EnvOr("VOREL_UPDATE_FOLDER", "");
  options.systemdRunning = SystemdIsRunning();
  options.systemctl = EnvOr("VOREL_SYSTEMCTL", "systemctl");
  return options;
}

std::string SystemdUnitPath(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  return (fs::path(options.unitFolder) / (identity.name + (options.templateUnit ? "@" : "") + ".service"))
      .string();
}

std::string SystemdUnitText(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  std::string state = EscapeSpecifiers(options.stateLocation);
  if (options.templateUnit) {
    if (state.empty() || state.back() != '/') state += '/';
    state += "%i.db";
  }
  // The folder adm_update writes the new program and its script to.
  const std::string updateFolder = options.updateFolder.empty()
                                       ? fs::path(options.programPath).parent_path().string()
                                       : options.updateFolder;
  std::string text;
  text += "[Unit]\n";
  text += "Description=" + EscapeSpecifiers(AnsiToUtf8(identity.displayName)) +
          (options.templateUnit ? " (%i)" : "") + "\n";
  text += "Wants=network-online.target\n";
  text += "After=network-online.target\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + Quoted(options.programPath) + "\n";
  text += "Environment=\"VOREL_STATE=" + QuotedInner(state) + "\"\n";
  // The unit's own name, which the restart and update scripts stop and start.
  text += "Environment=VOREL_UNIT=%n\n";
  if (!options.updateFolder.empty()) {
    text += "Environment=" + Quoted("VOREL_UPDATE_FOLDER=" + options.updateFolder) + "\n";
  }
  text += "Restart=on-failure\n";
  text += "RestartSec=10\n";
  // Well above the longest pass the main loop may legitimately take (a POST waits up to 80 s, an adm_sql
  // longer); the service tells systemd it is alive at each pass and each step of its set-up. A kill in the
  // middle of a table write is undone by the table's journal at the next open.
  text += "WatchdogSec=15min\n";
  // The sandbox. The service runs as root, since the clinic's folder may lie anywhere and belong to anyone;
  // the system's own folders stay read-only except the folder adm_update writes to. The restart and update
  // scripts run as units of their own (systemd-run), outside this sandbox.
  text += "ProtectSystem=full\n";
  text += "ReadWritePaths=" + Quoted("-" + updateFolder) + "\n";
  for (const char* line :
       {"PrivateTmp=yes", "PrivateDevices=yes", "PrivateMounts=yes", "NoNewPrivileges=yes",
        "ProtectKernelTunables=yes", "ProtectKernelModules=yes", "ProtectKernelLogs=yes",
        "ProtectControlGroups=yes", "ProtectClock=yes", "ProtectHostname=yes", "ProtectProc=invisible",
        "RestrictSUIDSGID=yes", "RestrictRealtime=yes", "RestrictNamespaces=yes", "LockPersonality=yes",
        "MemoryDenyWriteExecute=yes", "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK",
        "SystemCallArchitectures=native", "SystemCallFilter=@system-service",
        "SystemCallFilter=~@privileged @resources", "SystemCallErrorNumber=EPERM",
        // Reading and writing files of other owners (the clinic's tables, a share's files) and
        // tightening the rights of the state store's files.
        "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH CAP_FOWNER", "UMask=0077"}) {
    text += std::string(line) + "\n";
  }
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

std::string InstallSystemdUnit(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  const std::string path = SystemdUnitPath(identity, options);
  const std::string unit = identity.name + ".service";
  std::error_code ec;
  if (fs::exists(path, ec)) throw Error("The unit file " + Utf8ToAnsi(path) + " exists already");
  WriteUnitFile(path, SystemdUnitText(identity, options));
  std::string report = "Unit file written: " + Utf8ToAnsi(path) + "\n";
  if (!options.systemdRunning) {
    return report +
           "systemd is not running here: the unit is not enabled (run systemctl daemon-reload and "
           "systemctl enable " +
           unit + " where it runs)";
  }
  try {
    RunSystemctl(options, {"daemon-reload"});
    RunSystemctl(options, {"enable", unit});
  } catch (...) {
    fs::remove(path, ec);
    try {
      RunSystemctl(options, {"daemon-reload"});
    } catch (const Error&) {
      // The install failure below is the one to report.
    }
    throw;
  }
  return report + "systemd: units reloaded, " + unit + " enabled; start it with: systemctl start " +
         identity.name;
}

std::string UninstallSystemdUnit(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  const std::string path = SystemdUnitPath(identity, options);
  const std::string unit = identity.name + ".service";
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Error("The unit file " + Utf8ToAnsi(path) + " does not exist");
  if (options.systemdRunning) RunSystemctl(options, {"disable", unit});
  if (::unlink(path.c_str()) != 0) {
    throw Error("Cannot remove the unit file " + Utf8ToAnsi(path) + ": " + std::strerror(errno));
  }
  std::string report = "Unit file removed: " + Utf8ToAnsi(path) + "\n";
  if (!options.systemdRunning) return report + "systemd is not running here: nothing was disabled";
  RunSystemctl(options, {"daemon-reload"});
  return report + "systemd: " + unit + " disabled, units reloaded";
}

std::string InstallService(const ServiceIdentity& identity) {
  return InstallSystemdUnit(identity, SystemdUnitOptionsFromEnvironment());
}

std::string UninstallService(const ServiceIdentity& identity) {
  return UninstallSystemdUnit(identity, SystemdUnitOptionsFromEnvironment());
}

}  // namespace vorel
