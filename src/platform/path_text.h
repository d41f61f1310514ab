#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The crossings between the texts of the service and the file system, all in one place. Every text of the
// service (a setting of the state store, a reply field, an answer, a statement) is Windows-1251. A path also
// takes two other forms:
// - a std::filesystem::path, which the table files and the file lookup work with;
// - the narrow path of this platform's narrow file functions (SharedFile, FileAge, fopen), which is also the
//   form of the program's folder and of command-line arguments: on POSIX the file system's own bytes (UTF-8),
//   on Windows the ANSI code page, that is the text itself.
// A std::filesystem::path is never made from a narrow path directly: on Windows the standard library would
// read its bytes one by one as Latin-1, and a Cyrillic folder would not be found.
namespace vorel {

// The path of a text: a setting, a table name of a statement (POSIX: 1251 -> UTF-8).
std::filesystem::path FileSystemPath(std::string_view text);
// The text of a path, for the store, an answer or a message (a character 1251 lacks becomes '?').
std::string PathText(const std::filesystem::path& path);
// A narrow path is no std::filesystem::path: NarrowPathText or PathOfNarrow says which form is meant.
std::string PathText(const std::string& narrowPath) = delete;

// The narrow path of a path, for the narrow file functions.
std::string NarrowPath(const std::filesystem::path& path);
// The path of a narrow path (the program's folder, a command-line argument).
std::filesystem::path PathOfNarrow(std::string_view narrowPath);
// The text of a narrow path (POSIX: UTF-8 -> 1251; Windows: unchanged).
std::string NarrowPathText(std::string_view narrowPath);
// The path of an operator's argument, which comes in UTF-8 on every system (Windows: UTF-8 -> UTF-16).
std::filesystem::path PathOfUtf8(std::string_view utf8);

}  // namespace vorel
