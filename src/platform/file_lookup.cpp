#include "platform/file_lookup.h"

#include "platform/code_page.h"
#include "platform/path_text.h"

namespace vorel {

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\\0:*?", 6)) == std::string_view::npos;
}

std::optional<std::filesystem::path> FindCompanionFile(const std::filesystem::path& tablePath,
                                                       std::string_view extension) {
  // The companion usually shares the table's letter case (M2401.DBF, M2401.CDX): one look at that name
  // spares a listing of the folder at every statement.
  std::error_code ec;
  std::filesystem::path likely = CompanionFilePath(tablePath, extension);
  if (std::filesystem::is_regular_file(likely, ec)) return likely;
  std::string name = PathText(tablePath.stem());
  name += '.';
  name += extension;
  return FindFileIgnoringCase(tablePath.parent_path(), name);
}

std::filesystem::path CompanionFilePath(const std::filesystem::path& tablePath, std::string_view extension) {
  const std::string own = PathText(tablePath.extension());
  bool upper = false, lower = false;
  for (const char c : own) {
    upper |= c >= 'A' && c <= 'Z';
    lower |= c >= 'a' && c <= 'z';
  }
  std::string dotted(1, '.');
  dotted += upper && !lower ? ToUpperAnsi(extension) : ToLowerAnsi(extension);
  std::filesystem::path path = tablePath;
  path.replace_extension(dotted);
  return path;
}

}  // namespace vorel
