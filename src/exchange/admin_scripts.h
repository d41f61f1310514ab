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

// The POSIX equivalents, run by /bin/sh: stop the unit through systemd, swap the program files, start again.
std::string PosixUpdateScript(std::string_view programFolder, std::string_view serviceName);
std::string PosixRestartScript(std::string_view serviceName);

// The scripts of the platform the service was built for.
struct AdminScripts {
  std::string updateScriptName;   // created in the program folder
  std::string restartScriptPath;  // absolute path
  std::string updateScript;
  std::string restartScript;
};
AdminScripts ScriptsForThisPlatform(std::string_view programFolder, std::string_view stateStoreFolder,
                                    std::string_view serviceName);

}  // namespace vorel
