#pragma once

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/shared_file.h"

// Exclusive one-byte locks taken the way VFP takes them: retried at an interval up to a bounded wait, and
// all released together (in reverse order) when the holder goes out of scope.
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

  // Locks byte `offset` of `file`, retrying until `timing.wait` has passed; false when it stayed taken.
  bool Acquire(SharedFile& file, uint64_t offset, const LockTiming& timing);
  void ReleaseAll() noexcept;
  size_t size() const { return held_.size(); }

 private:
  std::vector<std::pair<SharedFile*, uint64_t>> held_;
};

}  // namespace vorel::dbf
