#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/fault_injection.h"

// What the Windows file home shares about failures: the thrown error and the seam's faults as system errors.
namespace vorel {

// FileAccessError "<what> <path>: <the system's text for error>".
[[noreturn]] void ThrowLastError(const std::string& what, const std::string& path, DWORD error);
// Counts the operation; ends the process or throws as ThrowLastError with ERROR_IO_DEVICE / ERROR_DISK_FULL
// when the plan says so. `writeHalf` (writes only) puts down the first half of the bytes before a torn write
// ends the process or a full disk fails it.
void InjectFault(FileOperation operation, const std::string& what, const std::string& path,
                 const std::function<void()>& writeHalf = {});

}  // namespace vorel
