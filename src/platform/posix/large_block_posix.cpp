#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/large_block.h"

namespace vorel {
namespace {

std::size_t Rounded(std::size_t bytes) {
  return (bytes + kLargeBlockGrain - 1) / kLargeBlockGrain * kLargeBlockGrain;
}

// Under AddressSanitizer the blocks come from its allocator at their exact size, so that reads and writes
// past their end are caught as they are in any other memory.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFromHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFromHeap = true;
#else
constexpr bool kFromHeap = false;
#endif
#else
constexpr bool kFromHeap = false;
#endif

}  // namespace

void* MapLargeBlock(std::size_t bytes) {
  if (bytes == 0 || bytes > SIZE_MAX / 2) throw std::bad_alloc();
  if constexpr (kFromHeap) {
    void* block = nullptr;
    if (::posix_memalign(&block, kLargeBlockGrain, bytes) != 0) throw std::bad_alloc();
    return std::memset(block, 0, bytes);
  }
  const std::size_t size = Rounded(bytes);
  // Map one grain more than needed and trim both ends, so that the block starts on a huge page boundary.
  void* mapped =
      ::mmap(nullptr, size + kLargeBlockGrain, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kLargeBlockGrain - 1) & ~(std::uintptr_t{kLargeBlockGrain} - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::size_t tail = kLargeBlockGrain - (aligned - start);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
#ifdef MADV_HUGEPAGE
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);  // only advice: refused is fine
#endif
  return reinterpret_cast<void*>(aligned);
}

void UnmapLargeBlock(void* block, std::size_t bytes) noexcept {
  if (!block) return;
  if constexpr (kFromHeap) {
    std::free(block);
  } else {
    ::munmap(block, Rounded(bytes));
  }
}

}  // namespace vorel
