#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "dbf/field.h"
#include "sql/value.h"

// The parsed form of a statement. Expression nodes also carry what binding adds (the field a name refers
// to, the function, the static type) and the scratch text buffer their evaluation reuses from row to row.
namespace vorel::sql {

struct FunctionInfo;

struct StoredTest;

enum class ExprKind : uint8_t {
  kLiteral,
  kColumn,
  kUnary,      // op: kNeg, kNot
  kBinary,     // arithmetic, comparison, $, AND, OR
  kFunction,   // args
  kAggregate,  // COUNT / SUM / AVG / MIN / MAX over args[0] (none for COUNT(*))
  kLike,       // args[0] LIKE args[1]; negated for NOT LIKE
  kIsNull,     // args[0] IS NULL; negated for IS NOT NULL
  kBetween,    // args[0] BETWEEN args[1] AND args[2]
  kIn,         // args[0] IN (args[1..])
};

enum class Op : uint8_t {
  kNone,
  kAdd,
  kSub,
  kMul,
  kDiv,
  kMod,
  kPow,
  kEq,
  kExactEq,
  kNe,
  kLt,
  kLe,
  kGt,
  kGe,
  kContains,  // $: left is a substring of right
  kAnd,
  kOr,
  kNot,
  kNeg,
};

enum class AggregateKind : uint8_t { kCount, kSum, kAvg, kMin, kMax };

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  Op op = Op::kNone;
  size_t position = 0;  // 1-based offset in the statement text
  bool negated = false;
  std::vector<std::unique_ptr<Expr>> args;

  // kLiteral: the value (its text points into literalText).
  Value literal;
  std::string literalText;
  int literalDecimals = 0;
  // kColumn: the name as written; kFunction: the function name as written.
  std::string name;
  // kAggregate
  AggregateKind aggregate = AggregateKind::kCount;
  bool countStar = false;
  bool distinct = false;

  // Filled by binding.
  const dbf::Field* field = nullptr;
  int function = -1;  // FunctionId
  const FunctionInfo* functionInfo = nullptr;
  int aggregateSlot = -1;                   // index of the aggregate's accumulator
  ValueKind staticKind = ValueKind::kNull;  // kNull: not known before evaluation
  dbf::FieldType type = dbf::FieldType::kCharacter;
  int width = 0;
  int decimals = 0;
  bool constant = false;  // value computed once at binding (no field, no per-record function)
  Value constantValue;
  std::string constantText;

  // A predicate that the stored bytes of a record answer (stored_form.h); null for any other node.
  std::shared_ptr<const StoredTest> stored;

  // Reused by evaluation for a text result.
  std::string scratch;
};

using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
  ExprPtr expr;  // null for *
  std::string alias;
  std::string sourceText;  // the item as written (for messages)
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

struct SelectStatement {
  bool distinct = false;
  std::vector<SelectItem> items;
  std::string table;
  size_t tablePosition = 0;
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
  std::vector<OrderItem> orderBy;
};

struct Assignment {
  std::string column;
  size_t position = 0;
  ExprPtr value;
};

struct UpdateStatement {
  std::string table;
  size_t tablePosition = 0;
  std::vector<Assignment> assignments;
  ExprPtr where;
};

struct InsertStatement {
  std::string table;
  size_t tablePosition = 0;
  std::vector<std::string> columns;
  std::vector<size_t> columnPositions;
  std::vector<ExprPtr> values;
};

struct DeleteStatement {
  std::string table;
  size_t tablePosition = 0;
  ExprPtr where;
};

struct ColumnDefinition {
  std::string name;
  size_t position = 0;
  dbf::FieldType type = dbf::FieldType::kCharacter;
  int width = 0;
  int decimals = 0;
  bool nullable = false;
};

struct CreateTableStatement {
  std::string table;
  size_t tablePosition = 0;
  std::vector<ColumnDefinition> columns;
};

// INDEX ON <key> TAG <name> OF <table> [FOR <condition>] [CANDIDATE] [ASCENDING|DESCENDING]: a tag of the
// table's structural index. The expressions are kept as written, as the index file stores them.
struct IndexStatement {
  std::string table;
  size_t tablePosition = 0;
  std::string tag;
  std::string keyExpression;
  std::string forExpression;
  bool candidate = false;
  bool descending = false;
};

using Statement = std::variant<SelectStatement, UpdateStatement, InsertStatement, DeleteStatement,
                               CreateTableStatement, IndexStatement>;

}  // namespace vorel::sql
