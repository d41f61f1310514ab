#include "platform/code_page.h"
#include "platform/path_text.h"

namespace vorel {

std::string FileSystemPath(std::string_view text) {
  return AnsiToUtf8(text);
}

std::string PathText(const std::filesystem::path& fileSystemPath) {
  return Utf8ToAnsi(fileSystemPath.native());
}

}  // namespace vorel
