#pragma once

#include <string>

#include "platform/shared_file.h"

// Whole-file operations beside SharedFile, counted by the fault-injection seam. Failures are FileAccessError
// naming the file and the system's reason.
namespace vorel {

// Removes the file; a file that is not there is no failure.
void RemoveFile(const std::string& path);
// Gives `from` the name `to`, replacing a file of that name, in one step.
void RenameFile(const std::string& from, const std::string& to);
// Makes names created, renamed or removed in the folder durable (POSIX: fsync of the folder; Windows keeps
// names durable with the file's own flush, so there it only counts as an operation).
void SyncFolder(const std::string& folder);

}  // namespace vorel
