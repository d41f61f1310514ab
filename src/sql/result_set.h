#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sql/column.h"
#include "sql/value.h"

// The rows of a SELECT, held in one flat cell array and one text store (no allocation per row or value).
// Sorting, DISTINCT and dropping helper columns change only the view of the cells, never copy them.
namespace vorel::sql {

class ResultSet {
 public:
  ResultSet() = default;
  explicit ResultSet(std::vector<Column> columns) : columns_(std::move(columns)), stride_(columns_.size()) {}

  const std::vector<Column>& columns() const { return columns_; }
  std::vector<Column>& mutableColumns() { return columns_; }
  size_t columnCount() const { return columns_.size(); }
  size_t rowCount() const {
    if (reordered_) return order_.size();
    return stride_ == 0 ? 0 : cells_.size() / stride_;
  }

  // The value of a cell; its text stays valid as long as the result set lives unchanged.
  Value Get(size_t row, size_t column) const;
  // Index of the first column of that name (letter case ignored), -1 when there is none.
  int FindColumn(std::string_view name) const;

  // Adds a row of columnCount() values (their texts are copied). Only before Reorder and KeepColumns.
  void AppendRow(std::span<const Value> values);
  // A value that could not be read (a damaged memo): the cell holds .NULL. and reads as unreadable.
  void MarkUnreadable(size_t row, size_t column);
  bool Unreadable(size_t row, size_t column) const;

  // Keeps only the rows listed, in the order listed.
  void Reorder(std::span<const size_t> rows);
  // Keeps only the first `count` columns (drops helper columns added for sorting).
  void KeepColumns(size_t count);

 private:
  struct Cell {
    ValueKind kind = ValueKind::kNull;
    bool logical = false;
    uint32_t textLength = 0;
    union {
      double number;
      int64_t moment;
      uint64_t textOffset;
    };
    Cell() : moment(0) {}
  };
  // Cells in fixed blocks of 64 KB: growing never copies, and freed blocks are reused by the allocator
  // instead of being mapped afresh (page faults dominated a large result otherwise).
  class CellStore {
   public:
    static constexpr size_t kBlockShift = 12;
    static constexpr size_t kBlockCells = size_t{1} << kBlockShift;
    size_t size() const { return size_; }
    Cell& operator[](size_t i) { return blocks_[i >> kBlockShift][i & (kBlockCells - 1)]; }
    const Cell& operator[](size_t i) const { return blocks_[i >> kBlockShift][i & (kBlockCells - 1)]; }
    Cell& Add() {
      if ((size_ >> kBlockShift) == blocks_.size()) blocks_.push_back(std::make_unique<Cell[]>(kBlockCells));
      Cell& c = (*this)[size_++];
      c = Cell();
      return c;
    }

   private:
    std::vector<std::unique_ptr<Cell[]>> blocks_;
    size_t size_ = 0;
  };
  size_t Physical(size_t row) const { return reordered_ ? order_[row] : row; }

  std::vector<Column> columns_;
  size_t stride_ = 0;  // cells per stored row (helper columns included)
  CellStore cells_;
  bool reordered_ = false;
  std::vector<uint32_t> order_;     // stored row of each row, once reordered
  std::vector<size_t> unreadable_;  // stored cell indexes, ascending
  std::string texts_;
};

}  // namespace vorel::sql
