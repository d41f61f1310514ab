#include <algorithm>
#include <cmath>

#include "platform/calendar.h"
#include "sql/expression_internal.h"
#include "sql/stored_form.h"

// The general evaluation of a bound expression: every value decoded from the record and combined as the
// operators and functions say. The stored-byte tests that binding chose for a predicate come first
// (stored_form.cpp); they hand back to this path for bytes whose stored form is not the value's text.
namespace vorel::sql {
namespace {

// A text operator's result may not be longer than VFP's longest string (a chain of additions of long texts
// would otherwise grow one value without bound).
void CheckJoinedLength(const Expr& e, const Value& a, const Value& b) {
  if (static_cast<double>(a.text.size() + b.text.size()) > detail::kMaxTextLength)
    throw SqlError("String is too long to fit" + detail::At(e.position));
}

bool CharsMatch(unsigned char p, unsigned char s, Collation collation) {
  return p == s ||
         (collation != Collation::kMachine && CollationWeight(collation, p) == CollationWeight(collation, s));
}

}  // namespace

namespace detail {

Value ReadField(Expr& e, const RowContext& row) {
  const dbf::Field& f = *e.field;
  std::string_view rec = row.record;
  if (f.nullBit >= 0 && dbf::IsNull(f, rec)) return Value::Null();
  switch (f.type) {
    case dbf::FieldType::kCharacter:
    case dbf::FieldType::kVarchar:
    case dbf::FieldType::kVarbinary:
      if (f.oemText && !f.binary()) {
        e.scratch = dbf::DecodeTextAnsi(f, rec);
        return Value::Text(e.scratch);
      }
      return Value::Text(dbf::DecodeText(f, rec));
    case dbf::FieldType::kNumeric:
    case dbf::FieldType::kFloat:
    case dbf::FieldType::kInteger:
    case dbf::FieldType::kDouble:
    case dbf::FieldType::kCurrency:
    case dbf::FieldType::kDate:
    case dbf::FieldType::kDateTime:
    case dbf::FieldType::kLogical:
      return DecodeScalar(f, rec);
    default:  // memo kinds
      if (!row.table) {
        e.scratch.clear();
      } else if (f.binary() || f.type != dbf::FieldType::kMemo) {
        e.scratch = row.table->ReadMemo(f, rec);
      } else {
        e.scratch = row.table->ReadMemoAnsi(f, rec);
      }
      return Value::Text(e.scratch);
  }
}

int CompareSameKind(const Value& a, const Value& b, Collation collation) {
  switch (a.kind) {
    case ValueKind::kText:
      return CompareText(collation, a.text, b.text);
    case ValueKind::kNumber:
      return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    case ValueKind::kDate:
    case ValueKind::kDateTime:
      return a.moment < b.moment ? -1 : a.moment > b.moment ? 1 : 0;
    case ValueKind::kLogical:
      return static_cast<int>(a.logical) - static_cast<int>(b.logical);
    case ValueKind::kNull:
      return 0;
  }
  return 0;
}

bool TextComparisonHolds(Op op, std::string_view a, std::string_view b, const EvalEnv& env) {
  if (op == Op::kExactEq) return ExactlyEqual(a, b);
  if (!env.ansi && (op == Op::kEq || op == Op::kNe)) {
    // SET ANSI OFF: = compares up to the end of the shorter text.
    const size_t n = std::min(a.size(), b.size());
    const bool eq = CompareText(env.collation, a.substr(0, n), b.substr(0, n)) == 0;
    return op == Op::kEq ? eq : !eq;
  }
  return OrderHolds(op, CompareText(env.collation, a, b));
}

Value Compare(const Expr& e, Op op, const Value& a, const Value& b, const EvalEnv& env) {
  if (a.isNull() || b.isNull()) return Value::Null();
  if (a.kind != b.kind) Mismatch(e);
  if (a.kind == ValueKind::kText) return Value::Logical(TextComparisonHolds(op, a.text, b.text, env));
  return Value::Logical(OrderHolds(op, CompareSameKind(a, b, env.collation)));
}

bool LikeMatch(std::string_view s, std::string_view p, Collation collation) {
  size_t si = 0, pi = 0, starP = std::string_view::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '%') {
      starP = pi++;
      starS = si;
      continue;
    }
    if (pi < p.size() && (p[pi] == '_' || CharsMatch(static_cast<unsigned char>(p[pi]),
                                                     static_cast<unsigned char>(s[si]), collation))) {
      ++pi;
      ++si;
      continue;
    }
    if (starP != std::string_view::npos) {
      pi = starP + 1;
      si = ++starS;
      continue;
    }
    return false;
  }
  while (pi < p.size() && p[pi] == '%') ++pi;
  return pi == p.size();
}

bool OrderHolds(Op op, int c) {
  switch (op) {
    case Op::kEq:
    case Op::kExactEq:
      return c == 0;
    case Op::kNe:
      return c != 0;
    case Op::kLt:
      return c < 0;
    case Op::kLe:
      return c <= 0;
    case Op::kGt:
      return c > 0;
    default:
      return c >= 0;
  }
}

}  // namespace detail

namespace {

using namespace detail;

int64_t WholeDays(double n) {
  return static_cast<int64_t>(std::trunc(n));
}

void CheckMomentRange(const Expr& e, int64_t julianDay) {
  // Dates VFP can hold: years 1 to 9999.
  if (julianDay < JulianDayFromCivil(1, 1, 1) || julianDay > JulianDayFromCivil(9999, 12, 31))
    throw SqlError("Date/Datetime evaluated to an invalid value" + At(e.position));
}

Value Arithmetic(Expr& e, const Value& a, const Value& b) {
  if (a.isNull() || b.isNull()) return Value::Null();
  using K = ValueKind;
  switch (e.op) {
    case Op::kAdd:
      if (a.kind == K::kText && b.kind == K::kText) {
        CheckJoinedLength(e, a, b);
        e.scratch.assign(a.text);
        e.scratch.append(b.text);
        return Value::Text(e.scratch);
      }
      if (a.kind == K::kNumber && b.kind == K::kNumber) return Value::Number(a.number + b.number);
      if (IsMoment(a.kind) && b.kind == K::kNumber) {
        if (a.moment == 0) return a;
        if (!std::isfinite(b.number) || std::fabs(b.number) > 1e12) Mismatch(e);
        if (a.kind == K::kDate) {
          int64_t d = a.moment + WholeDays(b.number);
          CheckMomentRange(e, d);
          return Value::Date(d);
        }
        int64_t t = a.moment + WholeDays(b.number) * 1000;
        CheckMomentRange(e, t / kMillisecondsPerDay);
        return Value::DateTime(t);
      }
      if (a.kind == K::kNumber && IsMoment(b.kind)) {
        Value swapped[2] = {b, a};
        return Arithmetic(e, swapped[0], swapped[1]);
      }
      Mismatch(e);
    case Op::kSub:
      if (a.kind == K::kText && b.kind == K::kText) {
        CheckJoinedLength(e, a, b);
        std::string_view left = TrimRight(a.text);
        e.scratch.assign(left);
        e.scratch.append(b.text);
        e.scratch.append(a.text.size() - left.size(), ' ');
        return Value::Text(e.scratch);
      }
      if (a.kind == K::kNumber && b.kind == K::kNumber) return Value::Number(a.number - b.number);
      if (IsMoment(a.kind) && b.kind == K::kNumber) {
        if (a.moment == 0) return a;
        if (!std::isfinite(b.number) || std::fabs(b.number) > 1e12) Mismatch(e);
        if (a.kind == K::kDate) {
          int64_t d = a.moment - WholeDays(b.number);
          CheckMomentRange(e, d);
          return Value::Date(d);
        }
        int64_t t = a.moment - WholeDays(b.number) * 1000;
        CheckMomentRange(e, t / kMillisecondsPerDay);
        return Value::DateTime(t);
      }
      if (IsMoment(a.kind) && a.kind == b.kind) {
        if (a.moment == 0 || b.moment == 0) return Value::Number(0);
        double diff = static_cast<double>(a.moment - b.moment);
        return Value::Number(a.kind == K::kDate ? diff : diff / 1000.0);
      }
      Mismatch(e);
    default:
      break;
  }
  if (a.kind != K::kNumber || b.kind != K::kNumber) Mismatch(e);
  switch (e.op) {
    case Op::kMul:
      return Value::Number(a.number * b.number);
    case Op::kDiv:
      if (b.number == 0) throw SqlError("Division by zero" + At(e.position));
      return Value::Number(a.number / b.number);
    case Op::kMod: {
      if (b.number == 0) throw SqlError("Division by zero" + At(e.position));
      double r = std::fmod(a.number, b.number);
      if (r != 0 && ((r < 0) != (b.number < 0))) r += b.number;
      return Value::Number(r);
    }
    default: {
      double r = std::pow(a.number, b.number);
      if (!std::isfinite(r)) throw SqlError("Numeric overflow" + At(e.position));
      return Value::Number(r);
    }
  }
}

// Three-valued logic of AND / OR over all operands (chains are flattened by binding), with short-circuit.
Value Logic(Expr& e, const RowContext& row, const EvalEnv& env) {
  const bool isAnd = e.op == Op::kAnd;
  bool sawNull = false;
  for (ExprPtr& arg : e.args) {
    Value v = Evaluate(*arg, row, env);
    if (v.isNull()) {
      sawNull = true;
      continue;
    }
    if (v.kind != ValueKind::kLogical) Mismatch(e);
    if (v.logical != isAnd) return v;  // F AND x = F, T OR x = T
  }
  return sawNull ? Value::Null() : Value::Logical(isAnd);
}

}  // namespace

EvalEnv MakeEvalEnv(Collation collation, const LocalDateTime& now, const RegionalSettings& regional) {
  EvalEnv env;
  env.collation = collation;
  env.regional = &regional;
  env.today = IsValidDate(now.year, now.month, now.day) ? JulianDayFromCivil(now.year, now.month, now.day)
                                                        : JulianDayFromCivil(2000, 1, 1);
  env.nowMs = env.today * kMillisecondsPerDay + (now.hour * 3600LL + now.minute * 60 + now.second) * 1000;
  return env;
}

bool IsSelected(const Value& v, size_t position) {
  if (v.kind == ValueKind::kLogical) return v.logical;
  if (v.isNull()) return false;
  throw TypeMismatchError("Operator/operand type mismatch" + At(position));
}

int CompareForOrder(const Value& a, const Value& b, Collation collation) {
  if (a.isNull() || b.isNull()) return static_cast<int>(!a.isNull()) - static_cast<int>(!b.isNull());
  if (a.kind != b.kind) return static_cast<int>(a.kind) - static_cast<int>(b.kind);
  return CompareSameKind(a, b, collation);
}

bool ContainsAggregate(const Expr& expr) {
  if (expr.kind == ExprKind::kAggregate) return true;
  for (const ExprPtr& a : expr.args) {
    if (ContainsAggregate(*a)) return true;
  }
  return false;
}

Value Evaluate(Expr& e, const RowContext& row, const EvalEnv& env) {
  if (e.constant) return e.constantValue;
  if (e.stored) {
    const Tri t = TestStored(*e.stored, row.record, env);
    return t == Tri::kUnknown ? Value::Null() : Value::Logical(t == Tri::kTrue);
  }
  switch (e.kind) {
    case ExprKind::kLiteral:
      return e.literal;
    case ExprKind::kColumn:
      return ReadField(e, row);
    case ExprKind::kUnary: {
      Value a = Evaluate(*e.args[0], row, env);
      if (a.isNull()) return a;
      if (e.op == Op::kNeg) {
        if (a.kind != ValueKind::kNumber) Mismatch(e);
        return Value::Number(-a.number);
      }
      if (a.kind != ValueKind::kLogical) Mismatch(e);
      return Value::Logical(!a.logical);
    }
    case ExprKind::kBinary: {
      if (e.op == Op::kAnd || e.op == Op::kOr) return Logic(e, row, env);
      Value a = Evaluate(*e.args[0], row, env);
      Value b = Evaluate(*e.args[1], row, env);
      switch (e.op) {
        case Op::kEq:
        case Op::kExactEq:
        case Op::kNe:
        case Op::kLt:
        case Op::kLe:
        case Op::kGt:
        case Op::kGe:
          return Compare(e, e.op, a, b, env);
        case Op::kContains:
          if (a.isNull() || b.isNull()) return Value::Null();
          if (a.kind != ValueKind::kText || b.kind != ValueKind::kText) Mismatch(e);
          return Value::Logical(!a.text.empty() && b.text.find(a.text) != std::string_view::npos);
        default:
          return Arithmetic(e, a, b);
      }
    }
    case ExprKind::kFunction:
      return EvaluateFunction(e, row, env);
    case ExprKind::kAggregate:
      if (!row.aggregates)
        throw InvalidStatementError("An aggregate function is not allowed here" + At(e.position));
      return row.aggregates[e.aggregateSlot];
    case ExprKind::kLike: {
      Value s = Evaluate(*e.args[0], row, env);
      Value p = Evaluate(*e.args[1], row, env);
      if (s.isNull() || p.isNull()) return Value::Null();
      if (s.kind != ValueKind::kText || p.kind != ValueKind::kText) Mismatch(e);
      return Value::Logical(LikeMatch(s.text, p.text, env.collation) != e.negated);
    }
    case ExprKind::kIsNull: {
      Value a = Evaluate(*e.args[0], row, env);
      return Value::Logical(a.isNull() != e.negated);
    }
    case ExprKind::kBetween: {
      Value x = Evaluate(*e.args[0], row, env);
      Value lo = Evaluate(*e.args[1], row, env);
      Value ge = Compare(e, Op::kGe, x, lo, env);
      Value hi = Evaluate(*e.args[2], row, env);
      Value le = Compare(e, Op::kLe, x, hi, env);
      Value r;
      if ((!ge.isNull() && !ge.logical) || (!le.isNull() && !le.logical)) {
        r = Value::Logical(false);
      } else if (ge.isNull() || le.isNull()) {
        return Value::Null();
      } else {
        r = Value::Logical(true);
      }
      if (e.negated) r.logical = !r.logical;
      return r;
    }
    case ExprKind::kIn: {
      Value x = Evaluate(*e.args[0], row, env);
      bool sawNull = x.isNull();
      for (size_t i = 1; i < e.args.size() && !x.isNull(); ++i) {
        Value c = Compare(e, Op::kEq, x, Evaluate(*e.args[i], row, env), env);
        if (c.isNull()) {
          sawNull = true;
        } else if (c.logical) {
          return Value::Logical(!e.negated);
        }
      }
      if (sawNull) return Value::Null();
      return Value::Logical(e.negated);
    }
  }
  return Value::Null();
}

}  // namespace vorel::sql
