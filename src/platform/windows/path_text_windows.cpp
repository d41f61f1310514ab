#include "platform/path_text.h"

namespace vorel {

// The ANSI functions of the system read and give paths in the code page of the service's texts.
std::string FileSystemPath(std::string_view text) {
  return std::string(text);
}

std::string PathText(const std::filesystem::path& fileSystemPath) {
  return fileSystemPath.string();
}

}  // namespace vorel
