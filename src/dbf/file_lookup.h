#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

// Finding a table's files in its folder whatever the letter case on disk (M2401.DBF, m2401.dbf, ...).
namespace vorel::dbf {

// True for a plain file name: not empty, no path separators, not "." or "..". Table names come from SQL
// statements, so they must never lead outside the folder.
bool IsPlainFileName(std::string_view name);

// The file in `folder` whose name equals `fileName` ignoring ASCII letter case (an exact match first);
// std::nullopt when there is none or the name is not plain.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view fileName);

}  // namespace vorel::dbf
