// Large blocks come zero-filled, aligned to their grain (for huge pages, POSIX), writable to their last byte
// and owned once; the allocator built on them keeps a container's contents as it grows past the size of a
// block of its own.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/large_block.h"

namespace vorel {
namespace {

TEST(LargeBlock, ZeroFilledAlignedAndOwnedOnce) {
  for (const std::size_t bytes :
       {std::size_t{1}, kLargeBlockGrain - 1, kLargeBlockGrain, 3 * kLargeBlockGrain + 5}) {
    LargeBlock block(bytes);
    ASSERT_NE(block.data(), nullptr);
#ifndef _WIN32
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % kLargeBlockGrain, 0u) << bytes;
#endif
    EXPECT_EQ(block.data()[0], 0);
    EXPECT_EQ(block.data()[bytes - 1], 0);
    block.data()[bytes - 1] = 'x';
    LargeBlock moved = std::move(block);
    EXPECT_EQ(block.data(), nullptr);
    EXPECT_EQ(moved.data()[bytes - 1], 'x');
  }
}

TEST(LargeBlock, AllocatorKeepsContentsAcrossTheThreshold) {
  std::vector<uint32_t, LargeBlockAllocator<uint32_t>> values;
  const uint32_t count = 3 * kLargeBlockThreshold / sizeof(uint32_t);
  for (uint32_t i = 0; i < count; ++i) values.push_back(i * 7u);
  for (uint32_t i = 0; i < count; i += 4099) ASSERT_EQ(values[i], i * 7u);
  values.shrink_to_fit();
  values.resize(10);
  values.shrink_to_fit();
  EXPECT_EQ(values[9], 63u);
}

}  // namespace
}  // namespace vorel
