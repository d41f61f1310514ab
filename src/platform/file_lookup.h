#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

// Finding a clinic file by name. Files copied from the reception desk's Windows share often keep upper-case
// names (M2401.DBF, KESTRUM.EXE), so every clinic file is looked up here, whatever the letter case on disk.
// Names are texts of the service (Windows-1251); folders and the paths found are file-system paths.
namespace vorel {

// True for a plain file name: not empty, no path separators or wildcards, not "." or "..". Table names
// come from SQL statements, so they must never lead outside the folder.
bool IsPlainFileName(std::string_view name);

// The file in `folder` whose name equals `fileName` ignoring letter case (Latin and Cyrillic), an exact match
// first; std::nullopt when there is none or the name is not plain.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view fileName);

// The file beside a table with the table's name and `extension` ("cdx"), whatever its letter case.
std::optional<std::filesystem::path> FindCompanionFile(const std::filesystem::path& tablePath,
                                                       std::string_view extension);

// Where a file made beside a table goes: the table's name with `extension` in the letter case of the table's
// own extension (M2401.DBF -> M2401.CDX, m2401.dbf -> m2401.cdx), so that the reception desk program, which
// looks its files up the way Windows does, and a POSIX file system agree on the name.
std::filesystem::path CompanionFilePath(const std::filesystem::path& tablePath, std::string_view extension);

}  // namespace vorel
