#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "dbf/write_observer.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "sql/collation.h"
#include "sql/index_plan.h"
#include "sql/result_set.h"

// Runs one statement of the dialect over the tables of a folder.
namespace vorel::sql {

struct ExecutionOptions {
  std::filesystem::path folder;
  Collation collation = Collation::kMachine;
  bool ansi = true;   // SET ANSI ON (see EvalEnv)
  LocalDateTime now;  // DATE() and DATETIME() for the whole statement
  RegionalSettings regional;
  std::chrono::milliseconds lockWait{5000};  // longest wait for a record lock held by another program
  const Clock* clock = nullptr;              // header dates of written tables; nullptr = system clock
  IndexUse indexUse = IndexUse::kAuto;       // finding rows through a table's structural index
  bool storedTests = true;  // false: every condition and column through the general evaluation
  bool journal = true;      // each write through a journal beside the table (dbf::TableOptions::journal)
  size_t resultMemoryLimit = kDefaultResultMemoryLimit;  // cells and texts of a SELECT's rows
  dbf::WriteObserver* writeObserver = nullptr;           // hears of the records each write changed
};

struct StatementOutcome {
  bool hasRows = false;  // SELECT
  ResultSet rows;
  int64_t rowsAffected = 0;  // UPDATE, DELETE, INSERT
};

// Parses, binds and runs the statement. A WHERE term on a tag's key expression of a table with a structural
// index finds the candidate records through the tag (under a brief shared index lock) instead of reading
// every record; the rows are those a scan gives, in the same order. SELECT reads without record locks and
// returns its rows; UPDATE and DELETE lock every matching record, re-check the condition on the record as
// read under the lock and write every record or none; INSERT appends one record; CREATE TABLE makes a new
// empty table. Deleted records are invisible to every statement. Throws SqlError subclasses and the table
// layer's errors.
StatementOutcome RunStatement(std::string_view text, const ExecutionOptions& options);

// Takes the rows of a SELECT one at a time (see StreamStatement).
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Once, before the first row, when the row set has the result's columns: at most that many rows follow.
  virtual void Start(size_t rowsAtMost) = 0;
  // The row set holds the next row alone (row 0).
  virtual void Row() = 0;
};

// Runs the statement as RunStatement does, but gives a SELECT's rows to the sink one at a time through
// `row`, which holds the current row alone: the rows are passed on as the scan finds them, without a result
// of them all, and the memory limit applies to each row. A SELECT whose rows are known only once every one
// is read (ORDER BY, DISTINCT, GROUP BY, aggregates, computed texts sized by their values) is run whole
// first. Any other statement runs as usual and gives the number of records it changed. A failure may come
// after some rows were given (a damaged record further on); a throw of the sink ends the statement.
std::optional<int64_t> StreamStatement(std::string_view text, const ExecutionOptions& options, ResultSet& row,
                                       RowSink& sink);

}  // namespace vorel::sql
