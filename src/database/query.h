#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/connection.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "sql/column.h"
#include "sql/executor.h"
#include "sql/result_set.h"
#include "sql/value.h"

// The query object `SQL`: one statement (a list of text lines), either closed or open on the statement's
// result and positioned on a current row.
namespace vorel {

class Query {
 public:
  Query(Connection& connection, const Clock& clock, const RegionalSettings& regional,
        std::string name = "SQL")
      : connection_(connection), clock_(clock), regional_(regional), name_(std::move(name)) {}

  const std::string& name() const { return name_; }

  // The statement text, one entry a line; change it only while the query is closed.
  std::vector<std::string>& Lines() { return lines_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines joined by line breaks, as the statement is run.
  std::string StatementText() const;

  // Runs the statement, which must return rows, and stays open on its result at the first row. Throws on
  // any failure (closed connection, bad statement, a statement without rows) and then stays closed.
  void Open();
  void Close();
  bool Active() const { return active_; }

  // Runs the statement, which must return rows, without holding them all: `start` is called once with about
  // how many rows may come at most, then `eachRow` for each row in turn with the query open on that row
  // alone (its fields read as after Open; RecordCount is 1). Throws as Open does, also after some rows were
  // given (a damaged record further on); a throw of `start` or `eachRow` ends the statement and is passed
  // on. The query is closed afterwards in every case.
  void Stream(const std::function<void(int64_t rowsAtMost)>& start, const std::function<void()>& eachRow);

  // Runs a statement without a result set (UPDATE, INSERT, DELETE, CREATE TABLE); returns the number of rows
  // affected. Closes the query first.
  int64_t ExecSQL();

  // Runs the statement once, whatever its kind: one with rows leaves the query open on them and returns
  // nothing; any other returns the number of records it changed. Throws on failure and then stays closed.
  std::optional<int64_t> Run();

  // The result's columns in order; empty while closed.
  const std::vector<sql::Column>& Fields() const;
  size_t FieldCount() const { return Fields().size(); }
  // Index of the first column of that name (letter case ignored), -1 when there is none.
  int FindField(std::string_view name) const;

  // Row access; each throws ClosedDatasetError while closed.
  int64_t RecordCount() const;
  void First();
  void Next();
  bool Eof() const;
  // The current row's value of a column; text stays valid until the query closes. Throws QueryError for an
  // index or name the result does not have and at end of rows.
  sql::Value FieldValue(size_t index) const {
    if (active_ && index < result_.columnCount() && result_.HasRow(row_) && !result_.Unreadable(row_, index))
      return result_.Get(row_, index);
    return FieldValueOrThrow(index);
  }
  sql::Value FieldValue(std::string_view name) const;
  // Whether the current row's stored value of a column is no value of its type (see ResultSet::Malformed).
  bool FieldMalformed(size_t index) const {
    return active_ && index < result_.columnCount() && result_.HasRow(row_) && result_.Malformed(row_, index);
  }
  // The current row's value in the default text form (see value_text.h).
  std::string FieldText(size_t index) const;
  std::string FieldText(std::string_view name) const;

  // The open result as a whole (throws ClosedDatasetError while closed).
  const sql::ResultSet& Result() const;

 private:
  sql::StatementOutcome RunStatementText();
  void RequireConnected() const;
  void RequireOpen() const;
  sql::Value FieldValueOrThrow(size_t index) const;
  size_t RequireField(std::string_view name) const;

  Connection& connection_;
  const Clock& clock_;
  const RegionalSettings& regional_;
  std::string name_;
  std::vector<std::string> lines_;
  bool active_ = false;
  sql::ResultSet result_;
  size_t row_ = 0;
};

}  // namespace vorel
