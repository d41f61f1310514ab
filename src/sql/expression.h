#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "dbf/table.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "sql/ast.h"
#include "sql/collation.h"
#include "sql/value.h"

// Binding and evaluation of expressions over the records of one table.
namespace vorel::sql {

// What a statement's expressions see besides the record: collation, comparison rule, the moment the
// statement started (DATE() and DATETIME() keep it for the whole statement) and the regional forms.
struct EvalEnv {
  Collation collation = Collation::kMachine;
  bool ansi = true;   // SET ANSI ON: = pads the shorter text with blanks; OFF: compares up to the shorter
  int64_t today = 0;  // Julian day
  int64_t nowMs = 0;  // milliseconds since Julian day 0, whole seconds
  const RegionalSettings* regional = nullptr;
  bool storedTests =
      true;  // predicates answered from stored bytes where binding finds a form (stored_form.h)
};

// Builds an EvalEnv for the moment `now`.
EvalEnv MakeEvalEnv(Collation collation, const LocalDateTime& now, const RegionalSettings& regional);

// The record an expression is evaluated on. Only the fields an expression names are decoded.
struct RowContext {
  std::string_view record;  // whole record, byte 0 = deleted flag; empty when no record (constants)
  uint32_t recno = 0;
  dbf::Table* table = nullptr;        // for memo values
  const Value* aggregates = nullptr;  // final values of the aggregates of a group
};

struct BindOptions {
  const dbf::TableLayout* layout = nullptr;  // nullptr: the expression may name no field
  bool allowAggregates = false;
  std::vector<Expr*>* aggregates = nullptr;  // receives each aggregate node (slot = index)
};

// Resolves names (fields, functions by full name or unique cut of four letters or more), checks operand
// types where they are known, computes each node's result type, width and decimals, and computes constant
// parts once. Throws UnknownColumnError, UnknownFunctionError, TypeMismatchError, FunctionArgumentError,
// InvalidStatementError (an aggregate where none may stand).
void Bind(Expr& expr, const BindOptions& options, const EvalEnv& env);

// Evaluates a bound expression. Text results point into the record, a literal or a node's scratch buffer
// and stay valid until the same node is evaluated again. Throws TypeMismatchError and friends for operands
// whose types only show at run time.
Value Evaluate(Expr& expr, const RowContext& row, const EvalEnv& env);

// A WHERE / HAVING result: true only for a logical .T. (.NULL. and .F. do not select); other types are a
// type mismatch.
bool IsSelected(const Value& v, size_t position);

// Three-way order of two values of one kind for ORDER BY, MIN, MAX (null first, text by collation).
int CompareForOrder(const Value& a, const Value& b, Collation collation);

// True when the expression contains an aggregate.
bool ContainsAggregate(const Expr& expr);

}  // namespace vorel::sql
