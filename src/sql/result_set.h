#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sql/column.h"
#include "sql/value.h"

// The rows of a SELECT, held in one flat cell array and one text store (no allocation per row or value).
namespace vorel::sql {

class ResultSet {
 public:
  ResultSet() = default;
  explicit ResultSet(std::vector<Column> columns) : columns_(std::move(columns)) {}

  const std::vector<Column>& columns() const { return columns_; }
  std::vector<Column>& mutableColumns() { return columns_; }
  size_t columnCount() const { return columns_.size(); }
  size_t rowCount() const { return columns_.empty() ? 0 : cells_.size() / columns_.size(); }

  // The value of a cell; its text stays valid as long as the result set lives unchanged.
  Value Get(size_t row, size_t column) const;
  // Index of the first column of that name (letter case ignored), -1 when there is none.
  int FindColumn(std::string_view name) const;

  // Adds a row of columnCount() values (their texts are copied).
  void AppendRow(std::span<const Value> values);
  // Keeps only the rows listed, in the order listed.
  void Reorder(std::span<const size_t> rows);
  // Keeps only the first `count` columns (drops helper columns added for sorting).
  void KeepColumns(size_t count);
  void Reserve(size_t rows) { cells_.reserve(rows * columns_.size()); }

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
  std::vector<Column> columns_;
  std::vector<Cell> cells_;
  std::string texts_;
};

}  // namespace vorel::sql
