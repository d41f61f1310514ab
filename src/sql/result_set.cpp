#include "sql/result_set.h"

#include <algorithm>

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

Value ResultSet::Get(size_t row, size_t column) const {
  const Cell& c = cells_[Physical(row) * stride_ + column];
  Value v;
  v.kind = c.kind;
  switch (c.kind) {
    case ValueKind::kNull:
      break;
    case ValueKind::kText:
      v.text = std::string_view(texts_.data() + c.textOffset, c.textLength);
      break;
    case ValueKind::kNumber:
      v.number = c.number;
      break;
    case ValueKind::kDate:
    case ValueKind::kDateTime:
      v.moment = c.moment;
      break;
    case ValueKind::kLogical:
      v.logical = c.logical;
      break;
  }
  return v;
}

int ResultSet::FindColumn(std::string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsNoCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void ResultSet::AppendRow(std::span<const Value> values) {
  const size_t width = stride_;
  for (size_t i = 0; i < width; ++i) {
    Cell& c = cells_.Add();
    if (i >= values.size()) continue;
    const Value& v = values[i];
    c.kind = v.kind;
    switch (v.kind) {
      case ValueKind::kNull:
        break;
      case ValueKind::kText:
        c.textOffset = texts_.size();
        c.textLength = static_cast<uint32_t>(v.text.size());
        texts_.append(v.text);
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
}

void ResultSet::MarkUnreadable(size_t row, size_t column) {
  // Cells are marked as rows are added, so the list stays ascending.
  unreadable_.push_back(Physical(row) * stride_ + column);
}

bool ResultSet::Unreadable(size_t row, size_t column) const {
  return !unreadable_.empty() &&
         std::binary_search(unreadable_.begin(), unreadable_.end(), Physical(row) * stride_ + column);
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

}  // namespace vorel::sql
