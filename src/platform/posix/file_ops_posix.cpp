#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/fault_injection.h"
#include "platform/file_ops.h"
#include "platform/posix/file_fault.h"

namespace vorel {

[[noreturn]] void EndProcessAtFault() {
  ::kill(::getpid(), SIGKILL);
  ::_exit(137);
}

void ThrowFileErrno(const std::string& what, const std::string& path) {
  throw FileAccessError(what + " " + path + ": " + std::strerror(errno));
}

void InjectFault(FileOperation operation, const std::string& what, const std::string& path,
                 const std::function<void()>& writeHalf) {
  const FaultKind fault = MeetFileFault(operation, writeHalf);
  if (fault == FaultKind::kNone) return;
  errno = fault == FaultKind::kNoSpace ? ENOSPC : EIO;
  ThrowFileErrno(what, path);
}

void RemoveFile(const std::string& path) {
  InjectFault(FileOperation::kRemove, "Cannot remove", path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowFileErrno("Cannot remove", path);
}

void RenameFile(const std::string& from, const std::string& to) {
  InjectFault(FileOperation::kRename, "Cannot rename", from);
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowFileErrno("Cannot rename", from + " to " + to);
}

void SyncFolder(const std::string& folder) {
  InjectFault(FileOperation::kFlush, "Cannot flush", folder);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowFileErrno("Cannot open", folder);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  if (result != 0 && errno != EINVAL) ThrowFileErrno("Cannot flush", folder);
}

}  // namespace vorel
