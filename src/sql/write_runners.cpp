#include <vector>

#include "dbf/cdx_build.h"
#include "dbf/table.h"
#include "sql/condition.h"
#include "sql/row_source.h"
#include "sql/sql_errors.h"
#include "sql/statement_runners.h"

namespace vorel::sql {
namespace {

dbf::Table OpenForWriting(const std::string& name, const ExecutionOptions& options) {
  dbf::TableOptions tableOptions;
  tableOptions.lockWait = options.lockWait;
  tableOptions.clock = options.clock;
  tableOptions.journal = options.journal;
  tableOptions.observer = options.writeObserver;
  dbf::Table table = dbf::Table::Open(options.folder, name, tableOptions);
  table.CheckWritable();
  return table;
}

ValueKind KindOf(dbf::FieldType type) {
  switch (type) {
    case dbf::FieldType::kNumeric:
    case dbf::FieldType::kFloat:
    case dbf::FieldType::kInteger:
    case dbf::FieldType::kDouble:
    case dbf::FieldType::kCurrency:
      return ValueKind::kNumber;
    case dbf::FieldType::kDate:
    case dbf::FieldType::kDateTime:
      return ValueKind::kDate;
    case dbf::FieldType::kLogical:
      return ValueKind::kLogical;
    default:
      return ValueKind::kText;
  }
}

// A value that cannot go into the field at all (known before any record is read).
void CheckAssignable(const dbf::Field& field, const Expr& value) {
  ValueKind k = value.staticKind;
  if (k == ValueKind::kNull) return;
  if (k == ValueKind::kDateTime) k = ValueKind::kDate;
  if (k != KindOf(field.type))
    throw TypeMismatchError("Data type mismatch: column '" + field.name + "' at position " +
                            std::to_string(value.position));
}

// Binds a WHERE condition; it must be logical.
void BindCondition(ExprPtr& where, const dbf::TableLayout& layout, const EvalEnv& env) {
  if (!where) return;
  Bind(*where, BindOptions{&layout, false, nullptr}, env);
  if (where->staticKind != ValueKind::kNull && where->staticKind != ValueKind::kLogical)
    throw TypeMismatchError("Operator/operand type mismatch at position " + std::to_string(where->position));
}

// Records that are not deleted and meet the condition now (checked again under each record's lock).
std::vector<uint32_t> MatchingRecords(dbf::Table& table, Expr* where, const EvalEnv& env,
                                      const ExecutionOptions& options) {
  std::vector<uint32_t> recnos;
  const Condition condition(where, env);
  RowSource scanner(table, where, env, options);
  dbf::RecordRef rec;
  while (scanner.NextCandidate(rec, condition)) {
    if (rec.deleted) continue;
    RowContext row{rec.bytes, rec.recno, &table, nullptr};
    if (!scanner.Selected(condition, row)) continue;
    recnos.push_back(rec.recno);
  }
  return recnos;
}

// Whether the freshly locked record is still one the statement is about.
bool StillMatches(dbf::Table& table, Expr* where, const EvalEnv& env, uint32_t recno,
                  std::string_view fresh) {
  if (fresh.empty() || fresh[0] == dbf::kRecordDeleted) return false;
  if (!where) return true;
  RowContext row{fresh, recno, &table, nullptr};
  return IsSelected(Evaluate(*where, row, env), where->position);
}

}  // namespace

void StoreValue(dbf::Table& table, const dbf::Field& field, const Value& value, std::span<char> record) {
  switch (value.kind) {
    case ValueKind::kNull:
      dbf::EncodeNull(field, record);
      return;
    case ValueKind::kText:
      if (field.isMemo()) {
        if (field.binary() || field.type != dbf::FieldType::kMemo) {
          table.WriteMemo(field, value.text, record);
        } else {
          table.WriteMemoAnsi(field, value.text, record);
        }
      } else {
        dbf::EncodeText(field, value.text, record);
      }
      return;
    case ValueKind::kNumber:
      dbf::EncodeNumber(field, value.number, record);
      return;
    case ValueKind::kDate:
      dbf::EncodeDate(field, value.moment == 0 ? std::nullopt : std::optional<int64_t>(value.moment), record);
      return;
    case ValueKind::kDateTime:
      if (value.moment == 0) {
        dbf::EncodeDateTime(field, std::nullopt, record);
      } else {
        dbf::EncodeDateTime(field,
                            dbf::DateTimeValue{value.moment / kMillisecondsPerDay,
                                               static_cast<int32_t>(value.moment % kMillisecondsPerDay)},
                            record);
      }
      return;
    case ValueKind::kLogical:
      dbf::EncodeLogical(field, value.logical, record);
      return;
  }
}

int64_t RunUpdate(UpdateStatement& s, const ExecutionOptions& options, const EvalEnv& env) {
  dbf::Table table = OpenForWriting(s.table, options);
  const dbf::TableLayout& layout = table.layout();
  std::vector<const dbf::Field*> targets;
  for (Assignment& a : s.assignments) {
    const dbf::Field* field = layout.FindField(a.column);
    if (!field)
      throw UnknownColumnError("Column '" + a.column + "' is not found at position " +
                               std::to_string(a.position));
    Bind(*a.value, BindOptions{&layout, false, nullptr}, env);
    CheckAssignable(*field, *a.value);
    targets.push_back(field);
  }
  BindCondition(s.where, layout, env);
  std::vector<uint32_t> recnos = MatchingRecords(table, s.where.get(), env, options);
  if (recnos.empty()) return 0;
  std::vector<Value> values(targets.size());
  size_t written =
      table.UpdateRecords(recnos, [&](uint32_t recno, std::string_view fresh, std::span<char> changed) {
        if (!StillMatches(table, s.where.get(), env, recno, fresh)) return false;
        // Every right-hand side sees the record as it was: evaluate all of them on `fresh` first.
        RowContext row{fresh, recno, &table, nullptr};
        for (size_t i = 0; i < targets.size(); ++i) values[i] = Evaluate(*s.assignments[i].value, row, env);
        for (size_t i = 0; i < targets.size(); ++i) StoreValue(table, *targets[i], values[i], changed);
        return true;
      });
  return static_cast<int64_t>(written);
}

int64_t RunDelete(DeleteStatement& s, const ExecutionOptions& options, const EvalEnv& env) {
  dbf::Table table = OpenForWriting(s.table, options);
  BindCondition(s.where, table.layout(), env);
  std::vector<uint32_t> recnos = MatchingRecords(table, s.where.get(), env, options);
  if (recnos.empty()) return 0;
  size_t written =
      table.UpdateRecords(recnos, [&](uint32_t recno, std::string_view fresh, std::span<char> changed) {
        if (!StillMatches(table, s.where.get(), env, recno, fresh)) return false;
        changed[0] = dbf::kRecordDeleted;
        return true;
      });
  return static_cast<int64_t>(written);
}

int64_t RunInsert(InsertStatement& s, const ExecutionOptions& options, const EvalEnv& env) {
  dbf::Table table = OpenForWriting(s.table, options);
  const dbf::TableLayout& layout = table.layout();
  std::vector<const dbf::Field*> targets;
  if (s.columns.empty()) {
    for (const dbf::Field& f : layout.fields) targets.push_back(&f);
  } else {
    for (size_t i = 0; i < s.columns.size(); ++i) {
      const dbf::Field* field = layout.FindField(s.columns[i]);
      if (!field)
        throw UnknownColumnError("Column '" + s.columns[i] + "' is not found at position " +
                                 std::to_string(s.columnPositions[i]));
      targets.push_back(field);
    }
  }
  if (targets.size() != s.values.size())
    throw InvalidStatementError("INSERT gives " + std::to_string(s.values.size()) + " values for " +
                                std::to_string(targets.size()) + " columns");
  std::vector<Value> values(targets.size());
  for (size_t i = 0; i < targets.size(); ++i) {
    Bind(*s.values[i], BindOptions{nullptr, false, nullptr}, env);
    CheckAssignable(*targets[i], *s.values[i]);
    values[i] = Evaluate(*s.values[i], RowContext{}, env);
  }
  table.AppendRecord([&](std::span<char> record) {
    for (size_t i = 0; i < targets.size(); ++i) StoreValue(table, *targets[i], values[i], record);
  });
  return 1;
}

void RunCreateTable(CreateTableStatement& s, const ExecutionOptions& options) {
  std::vector<dbf::FieldSpec> fields;
  for (const ColumnDefinition& c : s.columns) {
    dbf::FieldSpec f;
    f.name = c.name;
    f.type = c.type;
    if (c.width > 255 || c.decimals > 255)
      throw InvalidStatementError("Column '" + c.name + "' is too wide at position " +
                                  std::to_string(c.position));
    f.length = static_cast<uint8_t>(c.width);
    f.decimals = static_cast<uint8_t>(c.decimals);
    f.nullable = c.nullable;
    fields.push_back(std::move(f));
  }
  dbf::CreateOptions createOptions;
  createOptions.clock = options.clock;
  dbf::TableOptions tableOptions;
  tableOptions.clock = options.clock;
  dbf::Table::Create(options.folder, s.table, fields, createOptions, tableOptions);
}

void RunIndex(IndexStatement& s, const ExecutionOptions& options) {
  dbf::Table table = OpenForWriting(s.table, options);
  dbf::TagSpec spec;
  spec.name = s.tag;
  spec.keyExpression = s.keyExpression;
  spec.forExpression = s.forExpression;
  spec.candidate = s.candidate;
  spec.descending = s.descending;
  // The tag orders its keys by the connection's collation, as VFP's INDEX ON does with SET COLLATE.
  switch (options.collation) {
    case Collation::kMachine:
      break;
    case Collation::kRussian:
      spec.collation = "RUSSIAN";
      break;
    case Collation::kGeneral:
      spec.collation = "GENERAL";
      break;
  }
  const dbf::BasicKeyExpressionCompiler compiler;
  dbf::CreateStructuralIndex(table, std::span<const dbf::TagSpec>(&spec, 1), compiler);
}

}  // namespace vorel::sql
