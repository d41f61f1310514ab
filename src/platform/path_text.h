#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The one crossing between the texts of the service and the file system. Every text of the service (a
// setting of the state store, a reply field, an answer, a statement) is Windows-1251; a POSIX file system
// names its files in UTF-8, while the ANSI file functions of Windows take 1251 as it is. A path read from the
// store or a reply reaches the file system through FileSystemPath, and a path the system gave (the program's
// own location, a file found in a folder) becomes text through PathText.
namespace vorel {

// The bytes the file system takes for a path held as text (POSIX: 1251 -> UTF-8; Windows: unchanged).
std::string FileSystemPath(std::string_view text);

// The text of a path the file system gave (POSIX: UTF-8 -> 1251, a character 1251 lacks as '?'; Windows:
// unchanged).
std::string PathText(const std::filesystem::path& fileSystemPath);

}  // namespace vorel
