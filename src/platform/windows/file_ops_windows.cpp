#include <windows.h>

#include "platform/fault_injection.h"
#include "platform/file_ops.h"
#include "platform/windows/file_fault.h"
#include "platform/windows/system_text.h"

namespace vorel {

[[noreturn]] void EndProcessAtFault() {
  TerminateProcess(GetCurrentProcess(), 137);
  ExitProcess(137);
}

void ThrowLastError(const std::string& what, const std::string& path, DWORD error) {
  throw FileAccessError(what + " " + path + ": " + windows::SystemErrorText(error));
}

void InjectFault(FileOperation operation, const std::string& what, const std::string& path,
                 const std::function<void()>& writeHalf) {
  const FaultKind fault = MeetFileFault(operation, writeHalf);
  if (fault == FaultKind::kNone) return;
  ThrowLastError(what, path, fault == FaultKind::kNoSpace ? ERROR_DISK_FULL : ERROR_IO_DEVICE);
}

void RemoveFile(const std::string& path) {
  InjectFault(FileOperation::kRemove, "Cannot remove", path);
  if (DeleteFileA(path.c_str())) return;
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    ThrowLastError("Cannot remove", path, error);
}

void RenameFile(const std::string& from, const std::string& to) {
  InjectFault(FileOperation::kRename, "Cannot rename", from);
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowLastError("Cannot rename", from + " to " + to, GetLastError());
}

void SyncFolder(const std::string& folder) {
  InjectFault(FileOperation::kFlush, "Cannot flush", folder);
}

}  // namespace vorel
