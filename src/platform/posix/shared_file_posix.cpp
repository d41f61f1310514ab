#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/file_fault.h"
#include "platform/shared_file.h"

namespace vorel {

namespace {

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

// Open-file-description lock request on one byte range; true when granted.
bool RequestLock(int fd, short type, uint64_t offset, uint64_t length, const std::string& path) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for OFD locks
  while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return false;
    ThrowFileErrno("Cannot lock", path);
  }
  return true;
}

}  // namespace

SharedFile SharedFile::Open(const std::string& path, Mode mode) {
  const int flags = (mode == Mode::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  int fd = ::open(path.c_str(), flags);
  if (fd < 0) ThrowFileErrno("Cannot open", path);
  return SharedFile(fd, path);
}

SharedFile SharedFile::CreateNew(const std::string& path) {
  InjectFault(FileOperation::kCreate, "Cannot create", path);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) ThrowFileErrno("Cannot create", path);
  return SharedFile(fd, path);
}

SharedFile::SharedFile(SharedFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(Fd(handle_));
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

SharedFile::~SharedFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

uint64_t SharedFile::Size() const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) ThrowFileErrno("Cannot read the size of", path_);
  return static_cast<uint64_t>(st.st_size);
}

size_t SharedFile::ReadAt(uint64_t offset, std::span<char> buffer) const {
  size_t done = 0;
  while (done < buffer.size()) {
    ssize_t n =
        ::pread(Fd(handle_), buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrno("Cannot read", path_);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

namespace {

void WriteAll(int fd, uint64_t offset, std::span<const char> bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileErrno("Cannot write", path);
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void SharedFile::WriteAt(uint64_t offset, std::span<const char> bytes) {
  InjectFault(FileOperation::kWrite, "Cannot write", path_,
              [&] { WriteAll(Fd(handle_), offset, bytes.first(bytes.size() / 2), path_); });
  WriteAll(Fd(handle_), offset, bytes, path_);
}

void SharedFile::Sync() {
  InjectFault(FileOperation::kFlush, "Cannot flush", path_);
  if (::fdatasync(Fd(handle_)) != 0 && errno != EINVAL) ThrowFileErrno("Cannot flush", path_);
}

void SharedFile::Truncate(uint64_t size) {
  InjectFault(FileOperation::kTruncate, "Cannot resize", path_);
  if (::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) ThrowFileErrno("Cannot resize", path_);
}

bool SharedFile::TryLock(uint64_t offset, uint64_t length) {
  return RequestLock(Fd(handle_), F_WRLCK, offset, length, path_);
}

bool SharedFile::TryLockShared(uint64_t offset, uint64_t length) {
  return RequestLock(Fd(handle_), F_RDLCK, offset, length, path_);
}

void SharedFile::Unlock(uint64_t offset, uint64_t length) {
  RequestLock(Fd(handle_), F_UNLCK, offset, length, path_);
}

}  // namespace vorel
