#include "exchange/admin_scripts.h"

#include "platform/oem_text.h"

namespace vorel {
namespace {

constexpr std::string_view kCrLf = "\r\n";

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

std::string PosixUpdateScript(std::string_view programFolder, std::string_view serviceName) {
  const std::string folder(programFolder);
  const std::string oldProgram = ShellQuoted(folder + "vorel_service");
  const std::string newProgram = ShellQuoted(folder + "vorel_servicenew");
  std::string s = "#!/bin/sh\n";
  s += "cd " + ShellQuoted(folder) + "\n";
  s += "systemctl stop " + std::string(serviceName) + "\n";
  s += "sleep 10\n";
  s += "rm -f " + oldProgram + "\n";
  s += "mv " + newProgram + " " + oldProgram + "\n";
  s += "chmod +x " + oldProgram + "\n";
  s += "systemctl start " + std::string(serviceName) + "\n";
  return s;
}

std::string PosixRestartScript(std::string_view serviceName) {
  std::string s = "#!/bin/sh\n";
  s += "systemctl stop " + std::string(serviceName) + "\n";
  s += "systemctl start " + std::string(serviceName) + "\n";
  return s;
}

AdminScripts ScriptsForThisPlatform(std::string_view programFolder, std::string_view stateStoreFolder,
                                    std::string_view serviceName) {
#ifdef _WIN32
  return {"serv.bat", "c:\\serv.bat", WindowsUpdateScript(programFolder, serviceName),
          WindowsRestartScript(serviceName)};
#else
  std::string restartPath(stateStoreFolder);
  if (restartPath.empty() || restartPath.back() != '/') restartPath += '/';
  restartPath += "serv.sh";
  return {"serv.sh", restartPath, PosixUpdateScript(programFolder, serviceName),
          PosixRestartScript(serviceName)};
#endif
}

}  // namespace vorel
