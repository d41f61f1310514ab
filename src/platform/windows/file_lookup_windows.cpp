#include <windows.h>

#include "platform/file_lookup.h"

namespace vorel {

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view fileName) {
  if (!IsPlainFileName(fileName)) return std::nullopt;
  // The file system ignores letter case itself; the search gives the name as the folder holds it.
  std::string pattern = folder.string();
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += fileName;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  FindClose(search);
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  return folder / std::string(found.cFileName);
}

}  // namespace vorel
