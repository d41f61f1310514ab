#include "dbf/held_locks.h"

#include <algorithm>
#include <thread>

namespace vorel::dbf {

bool HeldLocks::Acquire(SharedFile& file, uint64_t offset, const LockTiming& timing) {
  const auto deadline = std::chrono::steady_clock::now() + timing.wait;
  while (!file.TryLock(offset, 1)) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(timing.retryInterval, deadline - now));
  }
  held_.emplace_back(&file, offset);
  return true;
}

void HeldLocks::ReleaseAll() noexcept {
  while (!held_.empty()) {
    auto [file, offset] = held_.back();
    held_.pop_back();
    try {
      file->Unlock(offset, 1);
    } catch (...) {
      // Closing the file releases the lock in any case.
    }
  }
}

}  // namespace vorel::dbf
