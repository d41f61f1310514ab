#include <windows.h>

#include <utility>

#include "platform/error.h"
#include "platform/program_location.h"
#include "platform/windows/system_text.h"

namespace vorel {

std::string ProgramPath() {
  // The ANSI name, in the code page in which the file functions of the service read their paths.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const DWORD error = GetLastError();
    if (n == 0) throw Error("Cannot find the program file: " + windows::SystemErrorText(error));
    if (n < path.size() && error != ERROR_INSUFFICIENT_BUFFER) {
      path.resize(n);
      return windows::WithoutLongPathPrefix(std::move(path));
    }
    path.resize(path.size() * 2);
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace vorel
