#include "database/query.h"

#include "database/database_errors.h"
#include "database/value_text.h"

namespace vorel {
namespace {

const std::vector<sql::Column> kNoColumns;

sql::ExecutionOptions OptionsFor(const Connection& connection, const Clock& clock,
                                 const RegionalSettings& regional) {
  sql::ExecutionOptions options;
  options.folder = connection.folder();
  options.collation = connection.collation();
  options.now = clock.LocalNow();
  options.regional = regional;
  options.lockWait = connection.lockWait();
  options.journal = connection.journal();
  options.writeObserver = connection.writeObserver();
  options.clock = &clock;
  return options;
}

}  // namespace

std::string Query::StatementText() const {
  std::string text;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines_[i];
  }
  return text;
}

void Query::RequireConnected() const {
  if (!connection_.Connected())
    throw QueryError(name_ + ": Connection " + connection_.name() + " is not open");
}

sql::StatementOutcome Query::RunStatementText() {
  Close();
  RequireConnected();
  return sql::RunStatement(StatementText(), OptionsFor(connection_, clock_, regional_));
}

void Query::Open() {
  if (Run()) throw QueryError(name_ + ": The statement returns no result set");
}

void Query::Stream(const std::function<void(int64_t rowsAtMost)>& start,
                   const std::function<void()>& eachRow) {
  // The statement fills result_ with one row at a time; the query is open on it while the functions run.
  class Sink : public sql::RowSink {
   public:
    Sink(Query& query, const std::function<void(int64_t)>& start, const std::function<void()>& eachRow)
        : query_(query), start_(start), eachRow_(eachRow) {}
    void Start(size_t rowsAtMost) override {
      query_.active_ = true;
      start_(static_cast<int64_t>(rowsAtMost));
    }
    void Row() override {
      query_.row_ = 0;
      eachRow_();
    }

   private:
    Query& query_;
    const std::function<void(int64_t)>& start_;
    const std::function<void()>& eachRow_;
  };
  Close();
  RequireConnected();
  Sink sink(*this, start, eachRow);
  std::optional<int64_t> changed;
  try {
    changed =
        sql::StreamStatement(StatementText(), OptionsFor(connection_, clock_, regional_), result_, sink);
  } catch (...) {
    Close();
    throw;
  }
  Close();
  if (changed) throw QueryError(name_ + ": The statement returns no result set");
}

std::optional<int64_t> Query::Run() {
  sql::StatementOutcome outcome = RunStatementText();
  if (!outcome.hasRows) return outcome.rowsAffected;
  result_ = std::move(outcome.rows);
  row_ = 0;
  active_ = true;
  return std::nullopt;
}

void Query::Close() {
  active_ = false;
  result_ = sql::ResultSet();
  row_ = 0;
}

int64_t Query::ExecSQL() {
  sql::StatementOutcome outcome = RunStatementText();
  return outcome.hasRows ? static_cast<int64_t>(outcome.rows.rowCount()) : outcome.rowsAffected;
}

void Query::RequireOpen() const {
  if (!active_) throw ClosedDatasetError(name_ + ": Cannot perform this operation on a closed dataset");
}

const std::vector<sql::Column>& Query::Fields() const {
  return active_ ? result_.columns() : kNoColumns;
}

int Query::FindField(std::string_view name) const {
  return active_ ? result_.FindColumn(name) : -1;
}

int64_t Query::RecordCount() const {
  RequireOpen();
  return static_cast<int64_t>(result_.rowCount());
}

void Query::First() {
  RequireOpen();
  row_ = 0;
}

void Query::Next() {
  RequireOpen();
  if (row_ < result_.rowCount()) ++row_;
}

bool Query::Eof() const {
  RequireOpen();
  return row_ >= result_.rowCount();
}

// FieldValue beyond its common case: the failures, each with its message.
sql::Value Query::FieldValueOrThrow(size_t index) const {
  RequireOpen();
  if (index >= result_.columnCount())
    throw QueryError(name_ + ": Field index " + std::to_string(index) + " out of range");
  if (row_ >= result_.rowCount()) throw QueryError(name_ + ": No current record");
  if (result_.Unreadable(row_, index))
    throw QueryError(name_ + ": The value of field '" + result_.columns()[index].name + "' cannot be read");
  return result_.Get(row_, index);
}

size_t Query::RequireField(std::string_view name) const {
  RequireOpen();
  int index = result_.FindColumn(name);
  if (index < 0) throw QueryError(name_ + ": Field '" + std::string(name) + "' not found");
  return static_cast<size_t>(index);
}

sql::Value Query::FieldValue(std::string_view name) const {
  return FieldValue(RequireField(name));
}

std::string Query::FieldText(size_t index) const {
  sql::Value v = FieldValue(index);
  return ValueText(v, result_.columns()[index], regional_);
}

std::string Query::FieldText(std::string_view name) const {
  return FieldText(RequireField(name));
}

const sql::ResultSet& Query::Result() const {
  RequireOpen();
  return result_;
}

}  // namespace vorel
