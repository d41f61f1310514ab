#include <windows.h>

#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel {

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view fileName) {
  if (!IsPlainFileName(fileName)) return std::nullopt;
  // The file system ignores letter case itself, and the search gives the name as the folder holds it. It also
  // matches the short 8.3 names, which only a long name equal to the wanted one may stand for.
  const std::wstring pattern = (folder / FileSystemPath(fileName)).native();
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::string wanted = ToLowerAnsi(fileName);
  std::optional<std::filesystem::path> path;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        ToLowerAnsi(PathText(found.cFileName)) == wanted) {
      path = folder / found.cFileName;
      break;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return path;
}

}  // namespace vorel
