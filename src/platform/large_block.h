#pragma once

#include <cstddef>
#include <memory_resource>
#include <new>
#include <utility>

// Memory for the large arenas that a big statement or the patient cache fills front to back. Each block is
// mapped apart from the heap (it goes back to the system when freed) and, where the system offers huge pages
// on request, is advised for them: filling a 2 MB stretch then costs one page fault instead of 512, and on a
// virtual machine those faults took more time than the statements' own work.
namespace vorel {

// Blocks are whole multiples of this size; where huge pages are offered, aligned to it (a huge page must be).
inline constexpr std::size_t kLargeBlockGrain = std::size_t{2} << 20;

// Requests of at least this size are worth a block of their own.
inline constexpr std::size_t kLargeBlockThreshold = std::size_t{1} << 20;

// Zero-filled memory of at least `bytes` (rounded up to the grain); std::bad_alloc when there is none.
void* MapLargeBlock(std::size_t bytes);
// `bytes` as given to MapLargeBlock.
void UnmapLargeBlock(void* block, std::size_t bytes) noexcept;

// One block, owned.
class LargeBlock {
 public:
  LargeBlock() = default;
  explicit LargeBlock(std::size_t bytes) : data_(static_cast<char*>(MapLargeBlock(bytes))), size_(bytes) {}
  ~LargeBlock() {
    if (data_) UnmapLargeBlock(data_, size_);
  }
  LargeBlock(LargeBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  LargeBlock& operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
      if (data_) UnmapLargeBlock(data_, size_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

// An allocator for containers that may grow to megabytes: large requests are blocks of their own, small
// ones come from the heap as usual.
template <typename T>
struct LargeBlockAllocator {
  using value_type = T;
  LargeBlockAllocator() = default;
  template <typename U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= kLargeBlockThreshold) return static_cast<T*>(MapLargeBlock(bytes));
    return static_cast<T*>(::operator new (bytes, std::align_val_t{alignof(T)}));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes >= kLargeBlockThreshold) {
      UnmapLargeBlock(p, bytes);
    } else {
      ::operator delete (p, std::align_val_t{alignof(T)});
    }
  }
  template <typename U>
  bool operator==(const LargeBlockAllocator<U>&) const noexcept {
    return true;
  }
};

// The upstream of a monotonic buffer that grows by large blocks.
class LargeBlockResource final : public std::pmr::memory_resource {
 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    return LargeBlockAllocator<char>().allocate(bytes < alignment ? alignment : bytes);
  }
  void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    LargeBlockAllocator<char>().deallocate(static_cast<char*>(p), bytes < alignment ? alignment : bytes);
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
};

// The one such resource; it holds no state, so every arena may share it.
inline std::pmr::memory_resource* LargeBlockUpstream() {
  static LargeBlockResource resource;
  return &resource;
}

}  // namespace vorel
