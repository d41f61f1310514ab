#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dbf/held_locks.h"
#include "dbf/staged_file.h"
#include "platform/shared_file.h"

// The FPT memo file of a table: a 512-byte header (next free block, block size; big-endian) and blocks that
// each start with an 8-byte header (type, length). New values are appended at the next free block; blocks of
// old values are never reused or moved.
namespace vorel::dbf {

inline constexpr uint32_t kMemoTypePicture = 0;
inline constexpr uint32_t kMemoTypeText = 1;
// The longest memo value read: far beyond what the reception desk keeps in a memo (VFP cannot use a string
// of more than 16 MB), so that a block claiming hundreds of megabytes is refused, not read whole.
inline constexpr uint32_t kMemoValueLimit = uint32_t{64} << 20;

class MemoFile {
 public:
  MemoFile(SharedFile file, std::string tableName);

  // Creates an empty memo file with the given block size.
  static void Create(const std::string& path, uint16_t blockSize);

  // The value stored at `block`; CorruptTableError when the block or its length runs past the end of the
  // file, MemoTooLargeError when its length is above kMemoValueLimit.
  std::string Read(uint32_t block) const;
  // Takes the memo file's allocation lock into `locks`; RecordLockedError when it cannot be had.
  void Lock(HeldLocks& locks, const LockTiming& timing);
  // Stages the appending of a value in `staged` (this file's pending writes) and returns its block number.
  // Takes the memo file's allocation lock into `locks`, which the caller holds until the writes are made;
  // RecordLockedError when the lock cannot be had.
  uint32_t Append(uint32_t type, std::string_view data, StagedFile& staged, HeldLocks& locks,
                  const LockTiming& timing);

  SharedFile& file() { return file_; }

 private:
  uint16_t BlockSize() const;
  SharedFile file_;
  std::string tableName_;
};

}  // namespace vorel::dbf
