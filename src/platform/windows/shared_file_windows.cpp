#include <windows.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <utility>

#include "platform/shared_file.h"
#include "platform/windows/file_fault.h"
#include "platform/windows/system_text.h"

namespace vorel {

namespace {

// Shared the way VFP shares its tables (never a deny mode, which would lock VFP out); delete sharing too, so
// that, as on POSIX, an open file does not stop its folder from being cleaned up.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Windows locks are mandatory: a read or write that touches a byte another handle has locked fails at once.
// The table engine's locks lie past the data except the memo file's first byte, which a writer holds for the
// few milliseconds of a memo append, so such a transfer is tried again for this long before it fails.
constexpr auto kLockedTransferWait = std::chrono::seconds(5);

HANDLE Handle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// A length of 0 means, as for POSIX locks, from the offset to the end of every possible file.
uint64_t LockLength(uint64_t offset, uint64_t length) {
  return length != 0 ? length : std::numeric_limits<uint64_t>::max() - offset;
}

// Runs one transfer step, waiting out another handle's lock on the bytes for a while; returns its error.
template <typename Step>
DWORD TransferWithRetry(Step step) {
  const auto deadline = std::chrono::steady_clock::now() + kLockedTransferWait;
  for (;;) {
    if (step()) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() >= deadline) return error;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

intptr_t OpenHandle(const std::string& path, DWORD access, DWORD disposition, const char* what) {
  const HANDLE h =
      CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError(what, path, GetLastError());
  return reinterpret_cast<intptr_t>(h);
}

}  // namespace

SharedFile SharedFile::Open(const std::string& path, Mode mode) {
  const DWORD access = mode == Mode::kReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  return SharedFile(OpenHandle(path, access, OPEN_EXISTING, "Cannot open"), path);
}

SharedFile SharedFile::CreateNew(const std::string& path) {
  InjectFault(FileOperation::kCreate, "Cannot create", path);
  return SharedFile(OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, "Cannot create"), path);
}

SharedFile::SharedFile(SharedFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) CloseHandle(Handle(handle_));
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

SharedFile::~SharedFile() {
  if (handle_ >= 0) CloseHandle(Handle(handle_));
}

uint64_t SharedFile::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Handle(handle_), &size))
    ThrowLastError("Cannot read the size of", path_, GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

size_t SharedFile::ReadAt(uint64_t offset, std::span<char> buffer) const {
  size_t done = 0;
  while (done < buffer.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(buffer.size() - done, 1u << 30));
    DWORD got = 0;
    const DWORD error = TransferWithRetry([&] {
      OVERLAPPED position = At(offset + done);
      return ReadFile(Handle(handle_), buffer.data() + done, want, &got, &position) != FALSE;
    });
    if (error == ERROR_HANDLE_EOF) break;
    if (error != ERROR_SUCCESS) ThrowLastError("Cannot read", path_, error);
    if (got == 0) break;
    done += got;
  }
  return done;
}

namespace {

void WriteAll(HANDLE handle, uint64_t offset, std::span<const char> bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    const DWORD error = TransferWithRetry([&] {
      OVERLAPPED position = At(offset + done);
      return WriteFile(handle, bytes.data() + done, want, &put, &position) != FALSE;
    });
    if (error != ERROR_SUCCESS) ThrowLastError("Cannot write", path, error);
    done += put;
  }
}

}  // namespace

void SharedFile::WriteAt(uint64_t offset, std::span<const char> bytes) {
  InjectFault(FileOperation::kWrite, "Cannot write", path_,
              [&] { WriteAll(Handle(handle_), offset, bytes.first(bytes.size() / 2), path_); });
  WriteAll(Handle(handle_), offset, bytes, path_);
}

void SharedFile::Sync() {
  InjectFault(FileOperation::kFlush, "Cannot flush", path_);
  // A file open for reading has nothing of ours to flush, and the system refuses to flush it.
  if (!FlushFileBuffers(Handle(handle_)) && GetLastError() != ERROR_ACCESS_DENIED)
    ThrowLastError("Cannot flush", path_, GetLastError());
}

void SharedFile::Truncate(uint64_t size) {
  InjectFault(FileOperation::kTruncate, "Cannot resize", path_);
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFileInformationByHandle(Handle(handle_), FileEndOfFileInfo, &end, sizeof end))
    ThrowLastError("Cannot resize", path_, GetLastError());
}

namespace {

bool RequestLock(intptr_t handle, DWORD flags, uint64_t offset, uint64_t length, const std::string& path) {
  OVERLAPPED position = At(offset);
  const uint64_t span = LockLength(offset, length);
  if (LockFileEx(Handle(handle), flags | LOCKFILE_FAIL_IMMEDIATELY, 0, static_cast<DWORD>(span),
                 static_cast<DWORD>(span >> 32), &position)) {
    return true;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION || error == ERROR_IO_PENDING)
    return false;
  ThrowLastError("Cannot lock", path, error);
}

}  // namespace

bool SharedFile::TryLock(uint64_t offset, uint64_t length) {
  return RequestLock(handle_, LOCKFILE_EXCLUSIVE_LOCK, offset, length, path_);
}

bool SharedFile::TryLockShared(uint64_t offset, uint64_t length) {
  return RequestLock(handle_, 0, offset, length, path_);
}

void SharedFile::Unlock(uint64_t offset, uint64_t length) {
  OVERLAPPED position = At(offset);
  const uint64_t span = LockLength(offset, length);
  if (UnlockFileEx(Handle(handle_), 0, static_cast<DWORD>(span), static_cast<DWORD>(span >> 32), &position))
    return;
  // As with POSIX locks, unlocking bytes that this file has not locked changes nothing (Windows answers
  // ERROR_NOT_LOCKED, Wine ERROR_LOCK_VIOLATION).
  const DWORD error = GetLastError();
  if (error != ERROR_NOT_LOCKED && error != ERROR_LOCK_VIOLATION)
    ThrowLastError("Cannot unlock", path_, error);
}

}  // namespace vorel
