#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/large_block.h"
#include "sql/column.h"
#include "sql/value.h"

// The rows of a SELECT, held in one flat cell array and one text store (no allocation per row or value).
// Sorting, DISTINCT and dropping helper columns change only the view of the cells, never copy them.
namespace vorel::sql {

// The most memory the rows of one statement may hold (cells and texts): several times the largest result the
// service needs (the patient load of a million patients holds about 250 MB), yet far from what a statement
// such as PADR('x',16000000) over a few hundred rows would take.
inline constexpr size_t kDefaultResultMemoryLimit = size_t{1} << 30;

class ResultSet {
 public:
  ResultSet() = default;
  explicit ResultSet(std::vector<Column> columns, size_t memoryLimit = kDefaultResultMemoryLimit)
      : columns_(std::move(columns)), stride_(columns_.size()), memoryLimit_(memoryLimit) {}

  const std::vector<Column>& columns() const { return columns_; }
  std::vector<Column>& mutableColumns() { return columns_; }
  size_t columnCount() const { return columns_.size(); }
  size_t rowCount() const {
    if (reordered_) return order_.size();
    return stride_ == 0 ? 0 : cells_.size() / stride_;
  }
  // row < rowCount(), without a division.
  bool HasRow(size_t row) const {
    if (reordered_) return row < order_.size();
    return stride_ != 0 && row < cells_.size() && (row + 1) * stride_ <= cells_.size();
  }

  // The value of a cell; its text stays valid as long as the result set lives unchanged.
  Value Get(size_t row, size_t column) const {
    const Cell& c = cells_[Physical(row) * stride_ + column];
    Value v;
    v.kind = c.kind;
    switch (c.kind) {
      case ValueKind::kNull:
        break;
      case ValueKind::kText:
        v.text = std::string_view(c.text, c.textLength);
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
  // Index of the first column of that name (letter case ignored), -1 when there is none.
  int FindColumn(std::string_view name) const;

  // Adds a row of columnCount() values (their texts are copied). Only before Reorder and KeepColumns.
  // ResultTooLargeError, adding nothing, when the rows would hold more than the memory limit.
  void AppendRow(std::span<const Value> values);
  // A value that could not be read (a damaged memo): the cell holds .NULL. and reads as unreadable.
  void MarkUnreadable(size_t row, size_t column);
  bool Unreadable(size_t row, size_t column) const {
    return !unreadable_.empty() && UnreadableCell(Physical(row) * stride_ + column);
  }

  // A stored value that is no value of its type ("******" in a numeric field): the cell holds what statements
  // read (0, an empty date), and Table XML shows it as unreadable.
  void MarkMalformed(size_t row, size_t column);
  bool Malformed(size_t row, size_t column) const {
    return !malformed_.empty() && MalformedCell(Physical(row) * stride_ + column);
  }

  // Keeps only the rows listed, in the order listed.
  void Reorder(std::span<const size_t> rows);
  // Keeps only the first `count` columns (drops helper columns added for sorting).
  void KeepColumns(size_t count);
  // Drops every row but keeps the columns and the first blocks of cells and texts, for a result that holds
  // one row at a time; the memory limit then applies to each row alone.
  void ClearRows();
  // From now on AppendRow keeps the values' texts where they are instead of copying them: for a result that
  // holds one row at a time, read while the values it was given stay unchanged.
  void BorrowTexts() { borrowTexts_ = true; }

 private:
  struct Cell {
    ValueKind kind = ValueKind::kNull;
    bool logical = false;
    uint32_t textLength = 0;
    union {
      double number;
      int64_t moment;
      const char* text;  // in the text store, which never moves a stored text
    };
    Cell() : moment(0) {}
  };
  // Cells in blocks that never move once full: growing never copies them all. The first block starts at
  // 64 KB (most results are a few rows) and is moved once into a large block when it fills; every later
  // block is a large block (see LargeBlock: few page faults for a result of millions of cells).
  class CellStore {
   public:
    static constexpr size_t kBlockShift = 17;
    static constexpr size_t kBlockCells = size_t{1} << kBlockShift;
    static constexpr size_t kFirstCells = size_t{1} << 12;
    CellStore() = default;
    // A moved-from store is empty: it must not write into a block it gave away.
    CellStore(CellStore&& other) noexcept { *this = std::move(other); }
    CellStore& operator=(CellStore&& other) noexcept {
      blocks_ = std::exchange(other.blocks_, {});
      first_ = std::move(other.first_);
      large_ = std::exchange(other.large_, {});
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      next_ = std::exchange(other.next_, nullptr);
      end_ = std::exchange(other.end_, nullptr);
      return *this;
    }
    size_t size() const { return size_; }
    Cell& operator[](size_t i) { return blocks_[i >> kBlockShift][i & (kBlockCells - 1)]; }
    const Cell& operator[](size_t i) const { return blocks_[i >> kBlockShift][i & (kBlockCells - 1)]; }
    Cell& Add() {
      if (next_ == end_) Grow();
      ++size_;
      return *new (next_++) Cell();
    }
    // Room for `count` cells side by side in the last block, to be constructed by the caller; nullptr when
    // the block has less room left (the caller then adds them one by one).
    Cell* AddRun(size_t count) {
      if (static_cast<size_t>(end_ - next_) < count) return nullptr;
      Cell* run = next_;
      next_ += count;
      size_ += count;
      return run;
    }
    // Forgets every cell; the blocks are filled again from the first.
    void Clear() {
      size_ = 0;
      next_ = end_ = nullptr;
    }

   private:
    void Grow();
    std::vector<Cell*> blocks_;
    std::unique_ptr<Cell[]> first_;  // the first block while it is small
    std::vector<LargeBlock> large_;
    size_t size_ = 0;
    size_t capacity_ = 0;
    Cell* next_ = nullptr;  // where the next cell goes, in the last block
    Cell* end_ = nullptr;
  };
  void Fill(Cell& c, const Value& v);
  size_t Physical(size_t row) const { return reordered_ ? order_[row] : row; }
  bool UnreadableCell(size_t cell) const;
  bool MalformedCell(size_t cell) const;

  std::vector<Column> columns_;
  size_t stride_ = 0;  // cells per stored row (helper columns included)
  size_t memoryLimit_ = kDefaultResultMemoryLimit;
  size_t memoryUsed_ = 0;  // bytes of cells and texts appended
  bool borrowTexts_ = false;
  CellStore cells_;
  bool reordered_ = false;
  std::vector<uint32_t> order_;     // stored row of each row, once reordered
  std::vector<size_t> unreadable_;  // stored cell indexes, ascending
  std::vector<size_t> malformed_;   // stored cell indexes, ascending
  // Texts in blocks that are never moved or copied once written (a growing string copied every text of a
  // large result again and again). The first block is small; the others are large blocks, given back to the
  // system when the result closes (only their written pages take memory). A text longer than a quarter of a
  // small block gets a block of its own.
  class TextStore {
   public:
    static constexpr size_t kFirstBlockBytes = size_t{64} << 10;
    static constexpr size_t kBlockBytes = size_t{64} << 20;
    TextStore() = default;
    // A moved-from store is empty: it must not write into the room of a block it gave away.
    TextStore(TextStore&& other) noexcept
        : blocks_(std::move(other.blocks_)),
          large_(std::move(other.large_)),
          free_(std::exchange(other.free_, nullptr)),
          room_(std::exchange(other.room_, 0)) {}
    TextStore& operator=(TextStore&& other) noexcept {
      blocks_ = std::move(other.blocks_);
      large_ = std::move(other.large_);
      free_ = std::exchange(other.free_, nullptr);
      room_ = std::exchange(other.room_, 0);
      return *this;
    }
    const char* Add(std::string_view text) {
      if (text.size() - 1 >= room_) return AddOther(text);  // empty, or no room left
      char* at = free_;
      std::memcpy(at, text.data(), text.size());
      free_ += text.size();
      room_ -= text.size();
      return at;
    }
    // Forgets every text; keeps the first block when it is the only one.
    void Clear();

   private:
    const char* AddOther(std::string_view text);
    std::vector<std::unique_ptr<char[]>> blocks_;  // the first block and long texts
    std::vector<LargeBlock> large_;
    char* free_ = nullptr;  // room left in the last ordinary block
    size_t room_ = 0;
  };
  TextStore texts_;
};

}  // namespace vorel::sql
