#include "dbf/held_locks.h"

#include <algorithm>
#include <thread>

namespace vorel::dbf {

bool HeldLocks::Holds(const SharedFile& file, uint64_t offset, uint64_t length) const {
  return std::any_of(held_.begin(), held_.end(), [&](const Held& h) {
    return h.file == &file && h.offset == offset && h.length == length;
  });
}

bool HeldLocks::TryAcquire(SharedFile& file, uint64_t offset, uint64_t length) {
  if (Holds(file, offset, length)) return true;
  if (!file.TryLock(offset, length)) return false;
  held_.push_back({&file, offset, length});
  return true;
}

bool HeldLocks::Acquire(SharedFile& file, uint64_t offset, const LockTiming& timing, uint64_t length) {
  const auto deadline = std::chrono::steady_clock::now() + timing.wait;
  while (!TryAcquire(file, offset, length)) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(timing.retryInterval, deadline - now));
  }
  return true;
}

void HeldLocks::ReleaseNewest() noexcept {
  if (held_.empty()) return;
  const Held h = held_.back();
  held_.pop_back();
  try {
    h.file->Unlock(h.offset, h.length);
  } catch (...) {
    // Closing the file releases the lock in any case.
  }
}

void HeldLocks::ReleaseAll() noexcept {
  while (!held_.empty()) ReleaseNewest();
}

}  // namespace vorel::dbf
