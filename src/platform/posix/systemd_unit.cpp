#include "platform/posix/systemd_unit.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/code_page.h"
#include "platform/program_location.h"
#include "platform/service_registration.h"
#include "platform/state_store_factory.h"

extern char** environ;

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

// One word in double quotes, for ExecStart= and Environment=.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : EscapeSpecifiers(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void RunSystemctl(const SystemdUnitOptions& options, std::vector<std::string> args) {
  args.insert(args.begin(), options.systemctl);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string command;
  for (std::size_t i = 0; i < args.size(); ++i) command += (i ? " " : "") + args[i];

  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0) throw Error("Cannot run " + command + ": " + std::strerror(rc));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw Error("Cannot wait for " + command + ": " + std::strerror(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error(command + " failed with status " +
                std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)));
  }
}

void WriteUnitFile(const std::string& path, const std::string& text) {
  // Written beside and renamed into place, so the folder never holds half a unit.
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temp, ec);
      throw Error("Cannot write the unit file " + Utf8ToAnsi(path));
    }
  }
  std::error_code ec;
  fs::permissions(
      temp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
      ec);
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw Error("Cannot write the unit file " + Utf8ToAnsi(path) + ": " + ec.message());
  }
}

}  // namespace

SystemdUnitOptions SystemdUnitOptionsFromEnvironment() {
  SystemdUnitOptions options;
  options.unitFolder = EnvOr("VOREL_UNIT_DIR", "/etc/systemd/system");
  options.programPath = ProgramPath();
  options.stateLocation = StateStoreLocation();
  std::error_code ec;
  options.systemdRunning = fs::is_directory("/run/systemd/system", ec);
  options.systemctl = EnvOr("VOREL_SYSTEMCTL", "systemctl");
  return options;
}

std::string SystemdUnitPath(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  return (fs::path(options.unitFolder) / (identity.name + ".service")).string();
}

std::string SystemdUnitText(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  std::string text;
  text += "[Unit]\n";
  text += "Description=" + EscapeSpecifiers(AnsiToUtf8(identity.displayName)) + "\n";
  text += "Wants=network-online.target\n";
  text += "After=network-online.target\n";
  text += "\n[Service]\n";
  text += "Type=simple\n";
  text += "ExecStart=" + Quoted(options.programPath) + "\n";
  text += "Environment=" + Quoted("VOREL_STATE=" + options.stateLocation) + "\n";
  text += "Restart=on-failure\n";
  text += "RestartSec=10\n";
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

void InstallSystemdUnit(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  const std::string path = SystemdUnitPath(identity, options);
  std::error_code ec;
  if (fs::exists(path, ec)) throw Error("The unit file " + Utf8ToAnsi(path) + " exists already");
  WriteUnitFile(path, SystemdUnitText(identity, options));
  if (!options.systemdRunning) return;
  try {
    RunSystemctl(options, {"daemon-reload"});
    RunSystemctl(options, {"enable", identity.name + ".service"});
  } catch (...) {
    fs::remove(path, ec);
    try {
      RunSystemctl(options, {"daemon-reload"});
    } catch (const Error&) {
      // The install failure below is the one to report.
    }
    throw;
  }
}

void UninstallSystemdUnit(const ServiceIdentity& identity, const SystemdUnitOptions& options) {
  const std::string path = SystemdUnitPath(identity, options);
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Error("The unit file " + Utf8ToAnsi(path) + " does not exist");
  if (options.systemdRunning) RunSystemctl(options, {"disable", identity.name + ".service"});
  if (!fs::remove(path, ec) || ec) {
    throw Error("Cannot remove the unit file " + Utf8ToAnsi(path) + (ec ? ": " + ec.message() : ""));
  }
  if (options.systemdRunning) RunSystemctl(options, {"daemon-reload"});
}

void InstallService(const ServiceIdentity& identity) {
  InstallSystemdUnit(identity, SystemdUnitOptionsFromEnvironment());
}

void UninstallService(const ServiceIdentity& identity) {
  UninstallSystemdUnit(identity, SystemdUnitOptionsFromEnvironment());
}

}  // namespace vorel
