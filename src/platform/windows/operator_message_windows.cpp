#include <windows.h>
// windows.h names CharToOemA AnsiToOem, which is the service's own conversion here.
#undef AnsiToOem

#include <string>

#include "platform/code_page.h"
#include "platform/operator_message.h"

namespace vorel {

void ShowOperatorMessage(std::string_view ansiText, bool failure) {
  HANDLE out = GetStdHandle(failure ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (GetConsoleWindow() == nullptr && (out == nullptr || out == INVALID_HANDLE_VALUE)) {
    const std::string text(ansiText);
    MessageBoxA(nullptr, text.c_str(), "VorelService", MB_OK | (failure ? MB_ICONERROR : MB_ICONINFORMATION));
    return;
  }
  // A console shows the OEM code page; a redirected output gets the same bytes.
  const std::string line = AnsiToOem(ansiText) + "\r\n";
  DWORD written = 0;
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace vorel
