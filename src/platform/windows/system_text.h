#pragma once

#include <string>
#include <string_view>

// Conversions between the service's Windows-1251 texts and the UTF-16 of the system's wide functions, and the
// system's own description of an error code.
namespace vorel::windows {

inline constexpr unsigned kAnsiCodePage = 1251;
inline constexpr unsigned kOemCodePage = 866;

// Windows-1251 bytes to UTF-16.
std::wstring AnsiToWide(std::string_view ansi);
// UTF-16 to Windows-1251; characters that 1251 lacks become '?'.
std::string WideToAnsi(std::wstring_view wide);

// A path without the "\\?\" prefix of long paths ("\\?\UNC\server\share" becomes "\\server\share"), as the
// command processor and the service's texts expect it.
std::string WithoutLongPathPrefix(std::string path);

// The system's text for an error code (from `module`'s message table when given, e.g. winhttp.dll), in
// Windows-1251 without the trailing line break; "error <code>" when the system has none.
std::string SystemErrorText(unsigned long code, const wchar_t* module = nullptr);

}  // namespace vorel::windows
