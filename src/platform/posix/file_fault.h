#pragma once

#include <functional>
#include <string>

#include "platform/fault_injection.h"

// What the POSIX file home shares about failures: the thrown error and the seam's faults as errno failures.
namespace vorel {

// FileAccessError "<what> <path>: <strerror(errno)>".
[[noreturn]] void ThrowFileErrno(const std::string& what, const std::string& path);
// Counts the operation; ends the process or throws as ThrowFileErrno with EIO/ENOSPC when the plan says so.
// `writeHalf` (writes only) puts down the first half of the bytes before a torn write ends the process or a
// full disk fails it.
void InjectFault(FileOperation operation, const std::string& what, const std::string& path,
                 const std::function<void()>& writeHalf = {});

}  // namespace vorel
