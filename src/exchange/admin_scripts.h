#pragma once

#include <string>
#include <string_view>

// The command scripts through which the service updates and restarts itself. They run as separate processes
// that outlive the service, because they stop it.
namespace vorel {

// The system's ANSI-to-OEM conversion: same length, character by character (1251 -> 866).
std::string ToOemText(std::string_view ansi);

// Windows serv.bat of the self-update: seven CR LF lines; only the folder inside lines 2, 5 and 6 is
// converted to the OEM code page, since the command processor reads the script in it.
std::string WindowsUpdateScript(std::string_view programFolder, std::string_view serviceName);
// Windows c:\serv.bat of the restart: stop and start, no pause.
std::string WindowsRestartScript(std::string_view serviceName);

// The POSIX equivalents, run by /bin/sh: wait until the answer has gone to the portal with the next
// request, stop the unit through systemd, put the new program in place of the old one with one rename (so
// the folder never lacks a whole program), start the unit again.
std::string PosixUpdateScript(std::string_view programFolder, std::string_view newProgramName,
                              std::string_view unitName);
std::string PosixRestartScript(std::string_view unitName);

// What tells the files of one unit from those of another where several share a folder (POSIX): empty for
// the service's own name, "@NAME" for an instance VorelService@NAME, otherwise "-" and the unit's name.
std::string InstanceSuffix(std::string_view unitName);

// The scripts of the platform the service was built for, for the unit `unitName`.
struct AdminScripts {
  std::string updateScriptName;   // created in the program folder
  std::string restartScriptPath;  // absolute path
  std::string newProgramName;     // the downloaded program, in the program folder
  std::string updateScript;
  std::string restartScript;
};
AdminScripts ScriptsForThisPlatform(std::string_view programFolder, std::string_view stateStoreFolder,
                                    std::string_view unitName);

}  // namespace vorel
