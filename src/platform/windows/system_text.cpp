#include "platform/windows/system_text.h"

#include <windows.h>

namespace vorel::windows {

std::wstring AnsiToWide(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  std::wstring wide(static_cast<size_t>(size), L'\0');
  // Every 1251 byte is one UTF-16 unit, so the result has the length of the input.
  const int n = MultiByteToWideChar(kAnsiCodePage, 0, ansi.data(), size, wide.data(), size);
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return wide;
}

std::string WideToAnsi(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed = WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string(wide.size(), '?');
  std::string ansi(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(kAnsiCodePage, 0, wide.data(), size, ansi.data(), needed, "?", nullptr);
  return ansi;
}

std::string WithoutLongPathPrefix(std::string path) {
  if (path.starts_with("\\\\?\\UNC\\")) return "\\\\" + path.substr(8);
  if (path.starts_with("\\\\?\\")) return path.substr(4);
  return path;
}

std::string SystemErrorText(unsigned long code, const wchar_t* module) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE source = nullptr;
  if (module != nullptr) source = GetModuleHandleW(module);
  flags |= source != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(flags, source, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (n > 0 && buffer != nullptr) text.assign(buffer, n);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.')) {
    text.pop_back();
  }
  if (text.empty()) return "error " + std::to_string(code);
  return WideToAnsi(text);
}

}  // namespace vorel::windows
