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

}  // namespace vorel
