#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "dbf/field_decode.h"
#include "dbf/table.h"
#include "platform/code_page.h"
#include "sql/column_reader.h"
#include "sql/condition.h"
#include "sql/row_source.h"
#include "sql/sql_errors.h"
#include "sql/statement_runners.h"

namespace vorel::sql {
namespace {

std::string Lower(std::string_view s) {
  return ToLowerAnsi(s);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return Lower(a) == Lower(b);
}

// Bytes that identify a value for grouping and DISTINCT (text without trailing blanks).
void AppendKey(std::string& key, const Value& v) {
  key.push_back(static_cast<char>(v.kind));
  switch (v.kind) {
    case ValueKind::kNull:
      break;
    case ValueKind::kText: {
      std::string_view t = v.text;
      while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
      uint32_t n = static_cast<uint32_t>(t.size());
      key.append(reinterpret_cast<const char*>(&n), sizeof n);
      key.append(t);
      break;
    }
    case ValueKind::kNumber: {
      double d = v.number == 0 ? 0.0 : v.number;
      key.append(reinterpret_cast<const char*>(&d), sizeof d);
      break;
    }
    case ValueKind::kDate:
    case ValueKind::kDateTime:
      key.append(reinterpret_cast<const char*>(&v.moment), sizeof v.moment);
      break;
    case ValueKind::kLogical:
      key.push_back(v.logical ? 1 : 0);
      break;
  }
}

struct Accumulator {
  double count = 0;
  double sum = 0;
  bool any = false;
  Value best;  // MIN / MAX (text kept in bestText)
  std::string bestText;
  std::unique_ptr<std::unordered_set<std::string>> seen;  // COUNT(DISTINCT ...) and friends
};

struct Group {
  std::string record;
  uint32_t recno = 0;
  std::vector<Accumulator> accumulators;
};

void Accumulate(Accumulator& acc, Expr& aggregate, const RowContext& row, const EvalEnv& env,
                std::string& keyBuf) {
  if (aggregate.countStar) {
    ++acc.count;
    return;
  }
  Value v = Evaluate(*aggregate.args[0], row, env);
  if (v.isNull()) return;
  if (aggregate.distinct) {
    if (!acc.seen) acc.seen = std::make_unique<std::unordered_set<std::string>>();
    keyBuf.clear();
    AppendKey(keyBuf, v);
    if (!acc.seen->insert(keyBuf).second) return;
  }
  switch (aggregate.aggregate) {
    case AggregateKind::kCount:
      ++acc.count;
      break;
    case AggregateKind::kSum:
    case AggregateKind::kAvg:
      if (v.kind != ValueKind::kNumber)
        throw TypeMismatchError("Operator/operand type mismatch at position " +
                                std::to_string(aggregate.position));
      acc.sum += v.number;
      ++acc.count;
      acc.any = true;
      break;
    case AggregateKind::kMin:
    case AggregateKind::kMax: {
      Value best = acc.best;
      if (best.kind == ValueKind::kText) best.text = acc.bestText;
      if (acc.any && v.kind != best.kind)
        throw TypeMismatchError("Operator/operand type mismatch at position " +
                                std::to_string(aggregate.position));
      int c = acc.any ? CompareForOrder(v, best, env.collation) : 0;
      if (!acc.any || (aggregate.aggregate == AggregateKind::kMin ? c < 0 : c > 0)) {
        acc.best = v;
        if (v.kind == ValueKind::kText) acc.bestText.assign(v.text);
        acc.any = true;
      }
      break;
    }
  }
}

Value Final(const Accumulator& acc, const Expr& aggregate) {
  switch (aggregate.aggregate) {
    case AggregateKind::kCount:
      return Value::Number(acc.count);
    case AggregateKind::kSum:
      return acc.any ? Value::Number(acc.sum) : Value::Null();
    case AggregateKind::kAvg:
      return acc.any ? Value::Number(acc.sum / acc.count) : Value::Null();
    default: {
      if (!acc.any) return Value::Null();
      Value v = acc.best;
      if (v.kind == ValueKind::kText) v.text = acc.bestText;
      return v;
    }
  }
}

// Every field an expression names outside its aggregates.
void CollectFields(const Expr& e, std::vector<const dbf::Field*>& out) {
  if (e.kind == ExprKind::kAggregate) return;
  if (e.kind == ExprKind::kColumn) out.push_back(e.field);
  for (const ExprPtr& a : e.args) CollectFields(*a, out);
}

std::string ColumnName(const SelectItem& item, const Expr& e, size_t position) {
  if (!item.alias.empty()) return Lower(item.alias);
  if (e.kind == ExprKind::kColumn) return Lower(e.field->name);
  if (e.kind == ExprKind::kAggregate) {
    static constexpr const char* kPrefix[] = {"cnt", "sum", "avg", "min", "max"};
    const char* prefix = kPrefix[static_cast<int>(e.aggregate)];
    if (e.countStar) return "cnt";
    if (e.args[0]->kind == ExprKind::kColumn)
      return std::string(prefix) + "_" + Lower(e.args[0]->field->name);
  }
  return "exp_" + std::to_string(position);
}

struct OutputColumn {
  Expr* expr = nullptr;
  Column column;
  bool sizeFromValues = false;  // computed text (or type only known from values)
};

// Runs the SELECT into `result`; with a sink, a statement whose rows need no look at the others goes to
// the sink one row at a time instead (`result` then holds the current row alone), and the answer is true.
bool SelectRows(SelectStatement& s, const ExecutionOptions& options, const EvalEnv& env, ResultSet& result,
                RowSink* sink) {
  dbf::TableOptions tableOptions;
  tableOptions.readOnly = true;
  tableOptions.undoWhenReading = true;
  tableOptions.journal = options.journal;
  tableOptions.lockWait = options.lockWait;
  tableOptions.clock = options.clock;
  dbf::Table table = dbf::Table::Open(options.folder, s.table, tableOptions);
  const dbf::TableLayout& layout = table.layout();

  std::vector<Expr*> aggregates;
  BindOptions withAggregates{&layout, true, &aggregates};
  BindOptions plain{&layout, false, nullptr};

  // Column list, with * expanded to the table's fields.
  std::vector<ExprPtr> starColumns;
  std::vector<OutputColumn> out;
  std::vector<const SelectItem*> itemOf;
  for (SelectItem& item : s.items) {
    if (!item.expr) {
      for (const dbf::Field& f : layout.fields) {
        auto e = std::make_unique<Expr>();
        e->kind = ExprKind::kColumn;
        e->name = f.name;
        Bind(*e, plain, env);
        out.push_back({e.get(), {}, false});
        itemOf.push_back(&item);
        starColumns.push_back(std::move(e));
      }
      continue;
    }
    Bind(*item.expr, withAggregates, env);
    out.push_back({item.expr.get(), {}, false});
    itemOf.push_back(&item);
  }
  for (size_t i = 0; i < out.size(); ++i) {
    Expr& e = *out[i].expr;
    Column& c = out[i].column;
    c.name = ColumnName(*itemOf[i], e, i + 1);
    c.type = e.type;
    c.width = e.width;
    c.decimals = e.decimals;
    bool plainField =
        e.kind == ExprKind::kColumn ||
        (e.kind == ExprKind::kAggregate && !e.countStar && e.args[0]->kind == ExprKind::kColumn &&
         (e.aggregate == AggregateKind::kMin || e.aggregate == AggregateKind::kMax));
    out[i].sizeFromValues =
        !plainField && (e.staticKind == ValueKind::kText || e.staticKind == ValueKind::kNull);
  }
  if (s.where) {
    Bind(*s.where, plain, env);
    if (s.where->staticKind != ValueKind::kNull && s.where->staticKind != ValueKind::kLogical)
      throw TypeMismatchError("Operator/operand type mismatch at position " +
                              std::to_string(s.where->position));
  }
  for (ExprPtr& g : s.groupBy) Bind(*g, plain, env);
  if (s.having) Bind(*s.having, withAggregates, env);
  const bool grouped = !s.groupBy.empty() || !aggregates.empty();

  if (grouped) {
    // Every column outside an aggregate must come from the GROUP BY fields.
    std::vector<const dbf::Field*> groupFields;
    for (ExprPtr& g : s.groupBy) CollectFields(*g, groupFields);
    for (const OutputColumn& oc : out) {
      std::vector<const dbf::Field*> used;
      CollectFields(*oc.expr, used);
      for (const dbf::Field* f : used) {
        if (std::find(groupFields.begin(), groupFields.end(), f) == groupFields.end())
          throw InvalidStatementError("GROUP BY clause is missing or invalid: column '" + Lower(f->name) +
                                      "' is neither grouped nor aggregated");
      }
    }
  }

  // ORDER BY: a result column by position or name, else (ungrouped) a hidden column of the expression.
  std::vector<size_t> orderColumns;
  const size_t visible = out.size();
  for (OrderItem& o : s.orderBy) {
    Expr& e = *o.expr;
    if (e.kind == ExprKind::kLiteral && e.literal.kind == ValueKind::kNumber) {
      double p = e.literal.number;
      if (p < 1 || p > static_cast<double>(visible) || p != static_cast<double>(static_cast<size_t>(p)))
        throw InvalidStatementError("ORDER BY position " + std::to_string(static_cast<long long>(p)) +
                                    " is out of range");
      orderColumns.push_back(static_cast<size_t>(p) - 1);
      continue;
    }
    size_t found = visible;
    if (e.kind == ExprKind::kColumn) {
      for (size_t i = 0; i < visible && found == visible; ++i) {
        if (EqualsNoCase(out[i].column.name, e.name)) found = i;
      }
      if (found == visible) {
        const dbf::Field* f = layout.FindField(e.name);
        for (size_t i = 0; i < visible && found == visible; ++i) {
          if (f && out[i].expr->kind == ExprKind::kColumn && out[i].expr->field == f) found = i;
        }
      }
    }
    if (found == visible) {
      if (grouped || s.distinct)
        throw InvalidStatementError("ORDER BY item at position " + std::to_string(e.position) +
                                    " is not in the column list");
      Bind(e, plain, env);
      found = out.size();
      OutputColumn hidden;
      hidden.expr = &e;
      hidden.column.name = "_order" + std::to_string(found);
      hidden.column.type = e.type;
      out.push_back(std::move(hidden));
    }
    orderColumns.push_back(found);
  }

  const Condition where(s.where.get(), env);
  std::vector<Column> columns;
  for (const OutputColumn& oc : out) columns.push_back(oc.column);
  result = ResultSet(std::move(columns), options.resultMemoryLimit);
  std::vector<Value> values(out.size());

  RowSource scanner(table, s.where.get(), env, options);
  dbf::RecordRef rec;
  std::vector<size_t> unreadable, malformed;
  std::vector<ColumnReader> readers;
  for (const OutputColumn& oc : out) readers.emplace_back(*oc.expr, env, layout.recordLength);
  const bool streamed =
      sink && !grouped && !s.distinct && orderColumns.empty() &&
      std::none_of(out.begin(), out.end(), [](const OutputColumn& c) { return c.sizeFromValues; });
  if (streamed) {
    result.BorrowTexts();  // each row is read before the next is evaluated
    sink->Start(table.recordCount());
  }
  if (!grouped) {
    const size_t width = out.size();
    while (scanner.NextCandidate(rec, where)) {
      if (rec.deleted) continue;
      RowContext row{rec.bytes, rec.recno, &table, nullptr};
      if (!scanner.Selected(where, row)) continue;
      unreadable.clear();
      malformed.clear();
      for (size_t i = 0; i < width; ++i) {
        try {
          if (readers[i].Read(row, values[i])) malformed.push_back(i);
        } catch (const dbf::CorruptTableError&) {
          // A damaged memo spoils only its own value, as long as the column is the memo field itself.
          if (out[i].expr->kind != ExprKind::kColumn) throw;
          values[i] = Value::Null();
          unreadable.push_back(i);
        }
      }
      result.AppendRow(values);
      for (size_t i : unreadable) result.MarkUnreadable(result.rowCount() - 1, i);
      for (size_t i : malformed) result.MarkMalformed(result.rowCount() - 1, i);
      if (streamed) {
        sink->Row();
        result.ClearRows();
      }
    }
    if (streamed) return true;
  } else {
    std::vector<Group> groups;
    std::unordered_map<std::string, size_t> index;
    std::string key, scratchKey;
    std::vector<Column> keyColumns(s.groupBy.size());
    ResultSet keys(std::move(keyColumns), options.resultMemoryLimit);
    std::vector<Value> keyValues(s.groupBy.size());
    if (s.groupBy.empty()) {
      groups.emplace_back();
      groups.back().accumulators.resize(aggregates.size());
    }
    while (scanner.NextCandidate(rec, where)) {
      if (rec.deleted) continue;
      RowContext row{rec.bytes, rec.recno, &table, nullptr};
      if (!scanner.Selected(where, row)) continue;
      size_t g = 0;
      if (!s.groupBy.empty()) {
        key.clear();
        for (size_t i = 0; i < s.groupBy.size(); ++i) {
          keyValues[i] = Evaluate(*s.groupBy[i], row, env);
          AppendKey(key, keyValues[i]);
        }
        auto it = index.find(key);
        if (it == index.end()) {
          it = index.emplace(key, groups.size()).first;
          groups.emplace_back();
          groups.back().accumulators.resize(aggregates.size());
          keys.AppendRow(keyValues);
        }
        g = it->second;
      }
      Group& group = groups[g];
      if (group.recno == 0) {
        group.record.assign(rec.bytes);
        group.recno = rec.recno;
      }
      for (size_t a = 0; a < aggregates.size(); ++a)
        Accumulate(group.accumulators[a], *aggregates[a], row, env, scratchKey);
    }
    // Groups come out in the order of their GROUP BY values.
    std::vector<size_t> order(groups.size());
    std::iota(order.begin(), order.end(), 0);
    if (!s.groupBy.empty()) {
      std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        for (size_t i = 0; i < s.groupBy.size(); ++i) {
          int c = CompareForOrder(keys.Get(x, i), keys.Get(y, i), env.collation);
          if (c != 0) return c < 0;
        }
        return false;
      });
    }
    std::vector<Value> finals(aggregates.size());
    for (size_t g : order) {
      Group& group = groups[g];
      for (size_t a = 0; a < aggregates.size(); ++a) finals[a] = Final(group.accumulators[a], *aggregates[a]);
      // A group without records (aggregates over no rows) sees a record of blanks: its fields read as empty.
      std::string blank;
      std::string_view record = group.record;
      if (group.recno == 0) {
        blank.assign(layout.recordLength, ' ');
        record = blank;
      }
      RowContext row{record, group.recno, &table, finals.data()};
      if (s.having && !IsSelected(Evaluate(*s.having, row, env), s.having->position)) continue;
      for (size_t i = 0; i < out.size(); ++i) values[i] = Evaluate(*out[i].expr, row, env);
      result.AppendRow(values);
    }
  }

  if (s.distinct) {
    std::unordered_set<std::string> seen;
    std::vector<size_t> keep;
    std::string key;
    for (size_t r = 0; r < result.rowCount(); ++r) {
      key.clear();
      for (size_t c = 0; c < visible; ++c) AppendKey(key, result.Get(r, c));
      if (seen.insert(key).second) keep.push_back(r);
    }
    if (keep.size() != result.rowCount()) result.Reorder(keep);
  }

  if (!orderColumns.empty()) {
    std::vector<size_t> order(result.rowCount());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
      for (size_t k = 0; k < orderColumns.size(); ++k) {
        int c =
            CompareForOrder(result.Get(x, orderColumns[k]), result.Get(y, orderColumns[k]), env.collation);
        if (c != 0) return s.orderBy[k].descending ? c > 0 : c < 0;
      }
      return false;
    });
    result.Reorder(order);
  }
  result.KeepColumns(visible);

  // Computed columns take their type and width from their values.
  std::vector<Column>& cols = result.mutableColumns();
  for (size_t c = 0; c < visible; ++c) {
    if (!out[c].sizeFromValues) continue;
    int width = 0;
    ValueKind kind = out[c].expr->staticKind;
    for (size_t r = 0; r < result.rowCount(); ++r) {
      Value v = result.Get(r, c);
      if (kind == ValueKind::kNull) kind = v.kind;
      if (v.kind == ValueKind::kText) width = std::max(width, static_cast<int>(v.text.size()));
    }
    switch (kind) {
      case ValueKind::kNumber:
        cols[c].type = dbf::FieldType::kNumeric;
        cols[c].width = 20;
        break;
      case ValueKind::kDate:
        cols[c].type = dbf::FieldType::kDate;
        cols[c].width = 8;
        break;
      case ValueKind::kDateTime:
        cols[c].type = dbf::FieldType::kDateTime;
        cols[c].width = 8;
        break;
      case ValueKind::kLogical:
        cols[c].type = dbf::FieldType::kLogical;
        cols[c].width = 1;
        break;
      default:
        cols[c].type = dbf::FieldType::kCharacter;
        cols[c].width = width;
        break;
    }
  }
  return false;
}

}  // namespace

ResultSet RunSelect(SelectStatement& s, const ExecutionOptions& options, const EvalEnv& env) {
  ResultSet result;
  SelectRows(s, options, env, result, nullptr);
  return result;
}

void StreamSelect(SelectStatement& s, const ExecutionOptions& options, const EvalEnv& env, ResultSet& row,
                  RowSink& sink) {
  if (SelectRows(s, options, env, row, &sink)) return;
  // Rows known only once all were read: given one by one from the whole result.
  const ResultSet whole = std::move(row);
  row = ResultSet(whole.columns(), options.resultMemoryLimit);
  row.BorrowTexts();
  sink.Start(whole.rowCount());
  std::vector<Value> values(whole.columnCount());
  for (size_t r = 0; r < whole.rowCount(); ++r) {
    for (size_t c = 0; c < values.size(); ++c) values[c] = whole.Get(r, c);
    row.AppendRow(values);
    for (size_t c = 0; c < values.size(); ++c) {
      if (whole.Unreadable(r, c)) row.MarkUnreadable(0, c);
      if (whole.Malformed(r, c)) row.MarkMalformed(0, c);
    }
    sink.Row();
    row.ClearRows();
  }
}

}  // namespace vorel::sql
