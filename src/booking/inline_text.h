#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vorel {

// A text of at most Capacity bytes kept inside the object, so that a million patient records do not make
// a million small heap allocations. A longer value (rare: a column wider than usual) goes to the heap and
// is kept whole, never cut.
template <std::size_t Capacity>
class InlineText {
  static_assert(Capacity >= sizeof(char*) + sizeof(uint32_t) && Capacity < 255);

 public:
  InlineText() = default;
  explicit InlineText(std::string_view text) { assign(text); }
  InlineText(const InlineText& other) { assign(other.view()); }
  InlineText& operator=(const InlineText& other) {
    if (this != &other) assign(other.view());
    return *this;
  }
  InlineText(InlineText&& other) noexcept { take(other); }
  InlineText& operator=(InlineText&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~InlineText() { release(); }

  void assign(std::string_view text) {
    if (onHeap() && text.data() >= heapData() && text.data() < heapData() + heapSize()) {
      InlineText copy(text);  // the value is a piece of this text itself
      *this = std::move(copy);
      return;
    }
    release();
    if (text.size() <= Capacity) {
      if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());
      size_ = static_cast<uint8_t>(text.size());
      return;
    }
    char* heap = new char[text.size()];
    std::memcpy(heap, text.data(), text.size());
    const auto length = static_cast<uint32_t>(text.size());
    std::memcpy(bytes_, &heap, sizeof heap);
    std::memcpy(bytes_ + sizeof heap, &length, sizeof length);
    size_ = kOnHeap;
  }
  void clear() {
    release();
    size_ = 0;
  }

  std::string_view view() const {
    return onHeap() ? std::string_view(heapData(), heapSize()) : std::string_view(bytes_, size_);
  }
  operator std::string_view() const { return view(); }
  std::size_t size() const { return view().size(); }
  bool empty() const { return size_ == 0; }
  bool onHeap() const { return size_ == kOnHeap; }

 private:
  static constexpr uint8_t kOnHeap = 0xFF;

  char* heapData() const {
    char* p;
    std::memcpy(&p, bytes_, sizeof p);
    return p;
  }
  uint32_t heapSize() const {
    uint32_t n;
    std::memcpy(&n, bytes_ + sizeof(char*), sizeof n);
    return n;
  }
  void release() {
    if (onHeap()) delete[] heapData();
    size_ = 0;
  }
  void take(InlineText& other) {
    const std::size_t used = other.onHeap() ? sizeof(char*) + sizeof(uint32_t) : other.size_;
    std::memcpy(bytes_, other.bytes_, used);
    size_ = other.size_;
    other.size_ = 0;
  }

  char bytes_[Capacity];
  uint8_t size_ = 0;
};

}  // namespace vorel
