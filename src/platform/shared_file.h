#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "platform/error.h"

// A file opened in shared mode beside other programs that use it at the same time, with positioned reads and
// writes and exclusive byte-range locks. POSIX: open-file-description locks (F_OFD_SETLK), owned by this open
// file, so two SharedFile objects of one process never share nor release each other's locks. Windows:
// LockFileEx on the handle.
namespace vorel {

VOREL_DEFINE_ERROR(FileAccessError, Error);

class SharedFile {
 public:
  enum class Mode { kRead, kReadWrite };

  SharedFile() = default;
  // Opens an existing file; FileAccessError naming the path when it cannot be opened.
  static SharedFile Open(const std::string& path, Mode mode);
  // Creates a new file for reading and writing; FileAccessError when it exists already or cannot be created.
  static SharedFile CreateNew(const std::string& path);

  SharedFile(SharedFile&& other) noexcept;
  SharedFile& operator=(SharedFile&& other) noexcept;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  ~SharedFile();  // closes the file, which releases its locks

  bool isOpen() const { return handle_ >= 0; }
  const std::string& path() const { return path_; }

  uint64_t Size() const;
  // Reads up to buffer.size() bytes at `offset`; returns how many were read (fewer only at the end of file).
  size_t ReadAt(uint64_t offset, std::span<char> buffer) const;
  // Writes all bytes at `offset`.
  void WriteAt(uint64_t offset, std::span<const char> bytes);
  // Flushes written data to the storage (fsync / FlushFileBuffers).
  void Sync();
  void Truncate(uint64_t size);

  // Exclusive lock of [offset, offset + length) without waiting: true when granted, false when another open
  // file holds a conflicting lock. FileAccessError on other failures.
  bool TryLock(uint64_t offset, uint64_t length);
  // Shared (read) lock of the range without waiting.
  bool TryLockShared(uint64_t offset, uint64_t length);
  void Unlock(uint64_t offset, uint64_t length);

 private:
  SharedFile(intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  intptr_t handle_ = -1;  // file descriptor (POSIX) or HANDLE (Windows)
  std::string path_;
};

}  // namespace vorel
