#include <system_error>

#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel {

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view fileName) {
  if (!IsPlainFileName(fileName)) return std::nullopt;
  std::error_code ec;
  std::filesystem::path exact = folder / FileSystemPath(fileName);
  if (std::filesystem::is_regular_file(exact, ec)) return exact;
  // The file system tells letter cases apart: compare every name of the folder as text.
  const std::string wanted = ToLowerAnsi(fileName);
  std::filesystem::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (ToLowerAnsi(PathText(it->path().filename())) == wanted && it->is_regular_file(ec)) return it->path();
  }
  return std::nullopt;
}

}  // namespace vorel
