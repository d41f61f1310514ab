#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/shared_file.h"

// Exclusive byte-range locks taken the way VFP takes them: retried at an interval up to a bounded wait, and
// all released together (in reverse order) when the holder goes out of scope. A range the holder has already
// locked through the same file is not locked twice (POSIX locks of one open file do not stack: a second
// unlock would free the first).
namespace vorel::dbf {

struct LockTiming {
  std::chrono::milliseconds wait{5000};
  std::chrono::milliseconds retryInterval{333};
};

class HeldLocks {
 public:
  HeldLocks() = default;
  HeldLocks(const HeldLocks&) = delete;
  HeldLocks& operator=(const HeldLocks&) = delete;
  ~HeldLocks() { ReleaseAll(); }

  // Locks `length` bytes at `offset` of `file`, retrying until `timing.wait` has passed; false when they
  // stayed taken.
  bool Acquire(SharedFile& file, uint64_t offset, const LockTiming& timing, uint64_t length = 1);
  // One attempt, no waiting.
  bool TryAcquire(SharedFile& file, uint64_t offset, uint64_t length = 1);
  bool Holds(const SharedFile& file, uint64_t offset, uint64_t length = 1) const;
  void ReleaseAll() noexcept;
  // Releases the lock acquired last.
  void ReleaseNewest() noexcept;
  size_t size() const { return held_.size(); }

 private:
  struct Held {
    SharedFile* file;
    uint64_t offset;
    uint64_t length;
  };
  std::vector<Held> held_;
};

}  // namespace vorel::dbf
