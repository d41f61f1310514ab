#include "sql/result_set.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "sql/sql_errors.h"

namespace vorel::sql {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int ResultSet::FindColumn(std::string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsNoCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void ResultSet::AppendRow(std::span<const Value> values) {
  const size_t width = stride_, given = std::min(width, values.size());
  size_t bytes = width * sizeof(Cell);
  for (size_t i = 0; i < given; ++i) {
    if (values[i].kind == ValueKind::kText) bytes += values[i].text.size();
  }
  if (bytes > memoryLimit_ - std::min(memoryUsed_, memoryLimit_)) {
    throw ResultTooLargeError("The result of the statement would hold more than " +
                              std::to_string(memoryLimit_ >> 20) + " MB of memory after " +
                              std::to_string(rowCount()) + " rows");
  }
  memoryUsed_ += bytes;
  // A row's cells side by side, each written whole once: the common case of a result of many rows.
  if (Cell* run = cells_.AddRun(width)) {
    for (size_t i = 0; i < given; ++i) Fill(*new (run + i) Cell(), values[i]);
    for (size_t i = given; i < width; ++i) new (run + i) Cell();
    return;
  }
  for (size_t i = 0; i < width; ++i) {
    Cell& c = cells_.Add();
    if (i < given) Fill(c, values[i]);
  }
}

inline void ResultSet::Fill(Cell& c, const Value& v) {
  c.kind = v.kind;
  switch (v.kind) {
    case ValueKind::kNull:
      break;
    case ValueKind::kText:
      c.text = borrowTexts_ ? v.text.data() : texts_.Add(v.text);
      c.textLength = static_cast<uint32_t>(v.text.size());
      break;
    case ValueKind::kNumber:
      c.number = v.number;
      break;
    case ValueKind::kDate:
    case ValueKind::kDateTime:
      c.moment = v.moment;
      break;
    case ValueKind::kLogical:
      c.logical = v.logical;
      break;
  }
}

const char* ResultSet::TextStore::AddOther(std::string_view text) {
  if (text.empty()) return "";
  if (text.size() > room_) {
    if (text.size() > kFirstBlockBytes / 4) {
      // A long text (a memo) in a block of its own; the current block keeps its room.
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
      std::memcpy(blocks_.back().get(), text.data(), text.size());
      return blocks_.back().get();
    }
    if (blocks_.empty()) {
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(kFirstBlockBytes));
      free_ = blocks_.back().get();
      room_ = kFirstBlockBytes;
    } else {
      large_.emplace_back(kBlockBytes);
      free_ = large_.back().data();
      room_ = kBlockBytes;
    }
  }
  char* at = free_;
  std::memcpy(at, text.data(), text.size());
  free_ += text.size();
  room_ -= text.size();
  return at;
}

void ResultSet::TextStore::Clear() {
  // A row of short texts used the small first block alone: it stays for the next row; anything more goes.
  if (free_ != nullptr && large_.empty() && blocks_.size() == 1) {
    free_ = blocks_.front().get();
    room_ = kFirstBlockBytes;
    return;
  }
  blocks_.clear();
  large_.clear();
  free_ = nullptr;
  room_ = 0;
}

void ResultSet::CellStore::Grow() {
  if (size_ < capacity_) {  // a block kept from before Clear
    Cell* block = blocks_[size_ >> kBlockShift];
    next_ = block + (size_ & (kBlockCells - 1));
    end_ = block + (first_ ? kFirstCells : kBlockCells);
    return;
  }
  if (capacity_ == 0) {
    first_ = std::make_unique_for_overwrite<Cell[]>(kFirstCells);
    blocks_.push_back(first_.get());
    capacity_ = kFirstCells;
    next_ = first_.get();
    end_ = next_ + kFirstCells;
    return;
  }
  static_assert(std::is_trivially_copyable_v<Cell>);
  large_.emplace_back(kBlockCells * sizeof(Cell));
  Cell* block = reinterpret_cast<Cell*>(large_.back().data());
  if (first_) {
    // The small first block moves into the large one; nothing points into the cells themselves.
    std::memcpy(static_cast<void*>(block), first_.get(), size_ * sizeof(Cell));
    blocks_[0] = block;
    first_.reset();
    capacity_ = kBlockCells;
    next_ = block + size_;
    end_ = block + kBlockCells;
    return;
  }
  blocks_.push_back(block);
  capacity_ += kBlockCells;
  next_ = block;
  end_ = block + kBlockCells;
}

void ResultSet::MarkUnreadable(size_t row, size_t column) {
  // Cells are marked as rows are added, so the list stays ascending.
  unreadable_.push_back(Physical(row) * stride_ + column);
}

bool ResultSet::UnreadableCell(size_t cell) const {
  return std::binary_search(unreadable_.begin(), unreadable_.end(), cell);
}

void ResultSet::MarkMalformed(size_t row, size_t column) {
  malformed_.push_back(Physical(row) * stride_ + column);
}

bool ResultSet::MalformedCell(size_t cell) const {
  return std::binary_search(malformed_.begin(), malformed_.end(), cell);
}

void ResultSet::Reorder(std::span<const size_t> rows) {
  std::vector<uint32_t> order;
  order.reserve(rows.size());
  for (size_t r : rows) order.push_back(static_cast<uint32_t>(Physical(r)));
  order_ = std::move(order);
  reordered_ = true;
}

void ResultSet::KeepColumns(size_t count) {
  if (count < columns_.size()) columns_.resize(count);
}

void ResultSet::ClearRows() {
  memoryUsed_ = 0;
  cells_.Clear();
  texts_.Clear();
  reordered_ = false;
  order_.clear();
  unreadable_.clear();
  malformed_.clear();
}

}  // namespace vorel::sql
