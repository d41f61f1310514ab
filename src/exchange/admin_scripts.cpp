#include "exchange/admin_scripts.h"

#include "platform/oem_text.h"
#include "platform/program_file.h"

namespace vorel {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kDefaultServiceName = "VorelService";
// Long enough for the next request, which carries the script's answer, to reach the portal first.
constexpr int kAnswerDelaySeconds = 5;

// The folder as a single-quoted shell word.
std::string ShellQuoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

}  // namespace

std::string ToOemText(std::string_view ansi) {
  return SystemAnsiToOem(ansi);
}

std::string WindowsUpdateScript(std::string_view programFolder, std::string_view serviceName) {
  const std::string oemFolder = ToOemText(programFolder);
  std::string s;
  s += programFolder.substr(0, 1);
  s += ':';
  s += kCrLf;
  s += "cd \"" + oemFolder + "\"";
  s += kCrLf;
  s += "%systemroot%\\system32\\net stop ";
  s += serviceName;
  s += kCrLf;
  s += "TIMEOUT /T 10 /NOBREAK";
  s += kCrLf;
  s += "del \"" + oemFolder + "vorel_service.exe\"";
  s += kCrLf;
  s += "rename \"" + oemFolder + "vorel_servicenew.exe\" vorel_service.exe";
  s += kCrLf;
  s += "%systemroot%\\system32\\net start ";
  s += serviceName;
  s += kCrLf;
  return s;
}

std::string WindowsRestartScript(std::string_view serviceName) {
  std::string s = "%systemroot%\\system32\\net stop ";
  s += serviceName;
  s += kCrLf;
  s += "%systemroot%\\system32\\net start ";
  s += serviceName;
  s += kCrLf;
  return s;
}

std::string PosixUpdateScript(std::string_view programFolder, std::string_view newProgramName,
                              std::string_view unitName) {
  const std::string folder(programFolder);
  const std::string unit = ShellQuoted(unitName);
  std::string s = "#!/bin/sh\n";
  s += "sleep " + std::to_string(kAnswerDelaySeconds) + "\n";
  s += "systemctl stop " + unit + "\n";
  s += "mv -f " + ShellQuoted(folder + std::string(newProgramName)) + " " +
       ShellQuoted(folder + std::string(ProgramFileName())) + "\n";
  s += "systemctl start " + unit + "\n";
  return s;
}

std::string PosixRestartScript(std::string_view unitName) {
  const std::string unit = ShellQuoted(unitName);
  std::string s = "#!/bin/sh\n";
  s += "sleep " + std::to_string(kAnswerDelaySeconds) + "\n";
  s += "systemctl stop " + unit + "\n";
  s += "systemctl start " + unit + "\n";
  return s;
}

std::string InstanceSuffix(std::string_view unitName) {
  std::string_view stem = unitName;
  if (stem.ends_with(".service")) stem.remove_suffix(std::string_view(".service").size());
  std::string_view rest = stem;
  if (rest.starts_with(kDefaultServiceName)) {
    rest.remove_prefix(kDefaultServiceName.size());
    if (rest.empty() || rest.front() == '@') return std::string(rest);
  }
  std::string suffix = "-";  // appended, not a literal plus a temporary: gcc 12 warns on that wrongly
  suffix += stem;
  return suffix;
}

AdminScripts ScriptsForThisPlatform(std::string_view programFolder, std::string_view stateStoreFolder,
                                    std::string_view unitName) {
#ifdef _WIN32
  return {"serv.bat", "c:\\serv.bat", std::string(NewProgramFileName()),
          WindowsUpdateScript(programFolder, unitName), WindowsRestartScript(unitName)};
#else
  const std::string suffix = InstanceSuffix(unitName);
  std::string restartPath(stateStoreFolder);
  if (restartPath.empty() || restartPath.back() != '/') restartPath += '/';
  restartPath += "serv" + suffix + ".sh";
  const std::string newProgram = std::string(NewProgramFileName()) + suffix;
  return {"serv" + suffix + ".sh", restartPath, newProgram,
          PosixUpdateScript(programFolder, newProgram, unitName), PosixRestartScript(unitName)};
#endif
}

}  // namespace vorel
