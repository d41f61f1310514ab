#include "dbf/staged_file.h"

#include <algorithm>
#include <cstring>

namespace vorel::dbf {

size_t StagedFile::ReadAt(uint64_t offset, std::span<char> buffer) const {
  const size_t got = file_->ReadAt(offset, buffer);
  std::fill(buffer.begin() + static_cast<ptrdiff_t>(got), buffer.end(), '\0');
  const uint64_t end = offset + buffer.size();
  auto it = writes_.upper_bound(offset);
  if (it != writes_.begin()) --it;
  for (; it != writes_.end() && it->first < end; ++it) {
    const uint64_t from = std::max(offset, it->first);
    const uint64_t to = std::min(end, it->first + it->second.size());
    if (from < to)
      std::memcpy(buffer.data() + (from - offset), it->second.data() + (from - it->first), to - from);
  }
  const uint64_t size = Size();
  return offset >= size ? 0 : static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - offset));
}

void StagedFile::WriteAt(uint64_t offset, std::span<const char> bytes) {
  if (bytes.empty()) return;
  const uint64_t end = offset + bytes.size();
  // Every staged range that overlaps or touches [offset, end) is merged with the new bytes into one.
  auto first = writes_.lower_bound(offset);
  if (first != writes_.begin()) {
    auto previous = std::prev(first);
    if (previous->first + previous->second.size() >= offset) first = previous;
  }
  auto last = first;
  uint64_t start = offset, stop = end;
  for (; last != writes_.end() && last->first <= end; ++last) {
    start = std::min(start, last->first);
    stop = std::max(stop, last->first + last->second.size());
  }
  // A write inside one staged range or at its end (an update writes its records in ascending order) grows
  // that range in place: copying it whole for each record would take time with the square of their count.
  if (first != last && std::next(first) == last && first->first <= offset) {
    std::string& range = first->second;
    if (range.size() < stop - start) range.resize(stop - start);
    std::memcpy(range.data() + (offset - start), bytes.data(), bytes.size());
    return;
  }
  std::string merged(stop - start, '\0');
  for (auto it = first; it != last; ++it)
    std::memcpy(merged.data() + (it->first - start), it->second.data(), it->second.size());
  std::memcpy(merged.data() + (offset - start), bytes.data(), bytes.size());
  writes_.erase(first, last);
  writes_.emplace(start, std::move(merged));
}

uint64_t StagedFile::Size() const {
  uint64_t size = file_->Size();
  if (!writes_.empty()) size = std::max(size, writes_.rbegin()->first + writes_.rbegin()->second.size());
  return size;
}

}  // namespace vorel::dbf
