#include <windows.h>
// after windows.h
#include <shellapi.h>

#include "platform/code_page.h"
#include "platform/operator_console.h"

namespace vorel {
namespace {

std::string WideToUtf8(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.pop_back();  // the terminating null
  return text;
}

}  // namespace

OperatorConsole::OperatorConsole(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    if (count == argc) {
      for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
    }
    LocalFree(wide);
  }
  if (arguments.empty()) {  // the system's parse disagrees with the runtime's: the ANSI ones, converted
    for (int i = 0; i < argc; ++i) arguments.push_back(AnsiToUtf8(argv[i]));
  }
  Keep(std::move(arguments));
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) {
    restoreOutputCodePage_ = GetConsoleOutputCP();
    if (restoreOutputCodePage_ != 0) SetConsoleOutputCP(CP_UTF8);
  }
}

OperatorConsole::~OperatorConsole() {
  if (restoreOutputCodePage_ != 0) SetConsoleOutputCP(restoreOutputCodePage_);
}

}  // namespace vorel
