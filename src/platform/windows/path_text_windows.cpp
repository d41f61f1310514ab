#include <windows.h>

#include "platform/path_text.h"
#include "platform/windows/system_text.h"

namespace vorel {

// A path holds UTF-16; the ANSI file functions take the code page of the service's texts, so a narrow path
// is the text itself.
std::filesystem::path FileSystemPath(std::string_view text) {
  return std::filesystem::path(windows::AnsiToWide(text));
}

std::string PathText(const std::filesystem::path& path) {
  return windows::WideToAnsi(path.native());
}

std::string NarrowPath(const std::filesystem::path& path) {
  return PathText(path);
}

std::filesystem::path PathOfNarrow(std::string_view narrowPath) {
  return FileSystemPath(narrowPath);
}

std::string NarrowPathText(std::string_view narrowPath) {
  return std::string(narrowPath);
}

std::filesystem::path PathOfUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return std::filesystem::path(wide);
}

}  // namespace vorel
