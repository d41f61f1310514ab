#include <windows.h>

#include "platform/large_block.h"

namespace vorel {

// Windows gives large pages only to accounts holding a privilege a service should not ask for; its
// allocation granularity already keeps a block apart from the heap.
void* MapLargeBlock(std::size_t bytes) {
  if (bytes == 0) throw std::bad_alloc();
  void* block = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!block) throw std::bad_alloc();
  return block;
}

void UnmapLargeBlock(void* block, std::size_t) noexcept {
  if (block) ::VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace vorel
