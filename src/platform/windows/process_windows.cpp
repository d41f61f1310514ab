#include <windows.h>

#include <string>

#include "platform/process.h"

namespace vorel {

SystemProcessLauncher::SystemProcessLauncher() = default;

void SystemProcessLauncher::StartDetached(const std::string& scriptPath) {
  // The command processor runs the script; /s /c with the path in quotes keeps folders with blanks whole.
  char systemFolder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryA(systemFolder, MAX_PATH);
  const std::string processor =
      (n > 0 && n < MAX_PATH ? std::string(systemFolder, n) : std::string("C:\\Windows\\system32")) +
      "\\cmd.exe";
  std::string commandLine = "\"" + processor + "\" /s /c \"\"" + scriptPath + "\"\"";

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  // No handles are inherited, so the script holds nothing of the service that it stops; its own console
  // (never shown) and process group keep it alive past the service's end.
  if (CreateProcessA(processor.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                     CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &started)) {
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
}

}  // namespace vorel
