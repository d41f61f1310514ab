#include "platform/code_page.h"
#include "platform/path_text.h"

namespace vorel {

// The file system names files in UTF-8; a narrow path is its own bytes.
std::filesystem::path FileSystemPath(std::string_view text) {
  return std::filesystem::path(AnsiToUtf8(text));
}

std::string PathText(const std::filesystem::path& path) {
  return Utf8ToAnsi(path.native());
}

std::string NarrowPath(const std::filesystem::path& path) {
  return path.native();
}

std::filesystem::path PathOfNarrow(std::string_view narrowPath) {
  return std::filesystem::path(narrowPath);
}

std::string NarrowPathText(std::string_view narrowPath) {
  return Utf8ToAnsi(narrowPath);
}

std::filesystem::path PathOfUtf8(std::string_view utf8) {
  return std::filesystem::path(utf8);
}

}  // namespace vorel
