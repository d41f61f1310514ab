#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dbf/field_decode.h"
#include "sql/ast.h"
#include "sql/expression.h"
#include "sql/sql_errors.h"
#include "sql/stored_form.h"
#include "sql/value.h"

// What the files of the expression evaluator share among themselves: binding (expression_bind.cpp), the
// general evaluation (expression_eval.cpp), the functions (function_eval.cpp) and the tests on stored bytes
// (stored_form.cpp). Nothing outside them includes this.
namespace vorel::sql::detail {

// VFP's longest string: no text value, function result or joined text grows past it.
constexpr double kMaxTextLength = 16'777'184;

inline std::string At(size_t position) {
  return " at position " + std::to_string(position);
}

[[noreturn]] inline void Mismatch(const Expr& e) {
  throw TypeMismatchError("Operator/operand type mismatch" + At(e.position));
}

[[noreturn]] inline void BadArgument(const Expr& e) {
  throw FunctionArgumentError("Function argument value, type, or count is invalid: " + e.name +
                              At(e.position));
}

inline bool Known(ValueKind k) {
  return k != ValueKind::kNull;
}
inline bool IsMoment(ValueKind k) {
  return k == ValueKind::kDate || k == ValueKind::kDateTime;
}

// Blanks (only the byte 32) off the end, off the start.
inline std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}
inline std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

// The value of a field that is neither text nor memo (and not NULL), as the general evaluation reads it.
inline Value DecodeScalar(const dbf::Field& f, std::string_view rec) {
  switch (f.type) {
    case dbf::FieldType::kNumeric:
    case dbf::FieldType::kFloat:
    case dbf::FieldType::kInteger:
    case dbf::FieldType::kDouble:
    case dbf::FieldType::kCurrency:
      return Value::Number(StoredNumber(f, rec));
    case dbf::FieldType::kDate:
      return Value::Date(dbf::DecodeDate(f, rec).value_or(0));
    case dbf::FieldType::kDateTime: {
      auto t = dbf::DecodeDateTime(f, rec);
      return Value::DateTime(t ? t->julianDay * kMillisecondsPerDay + t->milliseconds : 0);
    }
    default:
      return Value::Logical(dbf::DecodeLogical(f, rec).value_or(false));
  }
}

// The value of the field a column node names, in the record.
Value ReadField(Expr& e, const RowContext& row);
// Three-way order of two values of one kind (text by collation, trailing blanks never matter).
int CompareSameKind(const Value& a, const Value& b, Collation collation);
// The comparison operators; null when either side is null, Mismatch for values of two kinds.
Value Compare(const Expr& e, Op op, const Value& a, const Value& b, const EvalEnv& env);
// Whether a comparison of two texts holds under the statement's rules (collation, SET ANSI for = and <>).
bool TextComparisonHolds(Op op, std::string_view a, std::string_view b, const EvalEnv& env);
// True when `op` holds for a three-way result `c`.
bool OrderHolds(Op op, int c);
// LIKE with % and _, characters compared by collation weight.
bool LikeMatch(std::string_view s, std::string_view p, Collation collation);
// A call of a scalar function (functions.h).
Value EvaluateFunction(Expr& e, const RowContext& row, const EvalEnv& env);

}  // namespace vorel::sql::detail
