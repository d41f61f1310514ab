#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dbf/table.h"
#include "sql/condition.h"
#include "sql/executor.h"
#include "sql/expression.h"

// The records a statement looks at, in record order: every record of the table (a scan), or only the
// candidates the structural index gives for the WHERE condition. Either way the caller skips deleted records
// and tests the condition on each record, so both give the same rows in the same order.
namespace vorel::sql {

class RowSource {
 public:
  // `where` must be bound (or null) and outlive the source.
  RowSource(dbf::Table& table, Expr* where, const EvalEnv& env, const ExecutionOptions& options);

  // The next record; false at the end.
  bool Next(dbf::RecordRef& record);
  // As Next, skipping records that `where` rules out from their bytes alone (deleted ones among them) in the
  // scanner's own loop; the caller still tests the condition on what it gets.
  bool NextCandidate(dbf::RecordRef& record, const Condition& where) {
    if (!scanner_) return Next(record);
    if (where.WordFirst())
      return scanner_->NextWhere(record,
                                 [&](std::string_view bytes) { return where.MayBeSelectedWordFirst(bytes); });
    if (where.DatesFirst())
      return scanner_->NextWhere(
          record, [&](std::string_view bytes) { return where.MayBeSelectedDatesFirst(bytes); });
    return scanner_->NextWhere(record, [&](std::string_view bytes) { return where.MayBeSelected(bytes); });
  }
  // Whether `where` selects a record NextCandidate gave (whose guards a scan has already tested).
  bool Selected(const Condition& where, const RowContext& row) const {
    return scanner_ ? where.SelectedAfterGuards(row) : where.Selected(row);
  }
  // True when the records come from an index seek.
  bool seeking() const { return !scanner_.has_value(); }

 private:
  dbf::Table& table_;
  std::optional<dbf::TableScanner> scanner_;
  std::vector<uint32_t> recnos_;
  size_t next_ = 0;
  std::string buffer_;
};

}  // namespace vorel::sql
