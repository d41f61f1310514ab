#include "sql/expression.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/calendar.h"
#include "platform/code_page.h"
#include "sql/date_text.h"
#include "sql/functions.h"
#include "sql/number_text.h"
#include "sql/sql_errors.h"

namespace vorel::sql {
namespace {

// Longest text a function may build (VFP's own limit of a character value).
constexpr double kMaxTextLength = 16'777'184;

std::string At(size_t position) {
  return " at position " + std::to_string(position);
}

[[noreturn]] void Mismatch(const Expr& e) {
  throw TypeMismatchError("Operator/operand type mismatch" + At(e.position));
}

[[noreturn]] void BadArgument(const Expr& e) {
  throw FunctionArgumentError("Function argument value, type, or count is invalid: " + e.name +
                              At(e.position));
}

ValueKind KindOfField(dbf::FieldType type) {
  switch (type) {
    case dbf::FieldType::kNumeric:
    case dbf::FieldType::kFloat:
    case dbf::FieldType::kInteger:
    case dbf::FieldType::kDouble:
    case dbf::FieldType::kCurrency:
      return ValueKind::kNumber;
    case dbf::FieldType::kDate:
      return ValueKind::kDate;
    case dbf::FieldType::kDateTime:
      return ValueKind::kDateTime;
    case dbf::FieldType::kLogical:
      return ValueKind::kLogical;
    default:
      return ValueKind::kText;
  }
}

// Result type of a computed value of a kind.
void SetComputedType(Expr& e, ValueKind kind, int decimals) {
  e.staticKind = kind;
  e.decimals = 0;
  switch (kind) {
    case ValueKind::kNumber:
      e.type = dbf::FieldType::kNumeric;
      e.width = 20;
      e.decimals = std::clamp(decimals, 0, 18);
      break;
    case ValueKind::kDate:
      e.type = dbf::FieldType::kDate;
      e.width = 8;
      break;
    case ValueKind::kDateTime:
      e.type = dbf::FieldType::kDateTime;
      e.width = 8;
      break;
    case ValueKind::kLogical:
      e.type = dbf::FieldType::kLogical;
      e.width = 1;
      break;
    default:
      e.type = dbf::FieldType::kCharacter;
      e.width = 0;  // the result's longest value decides
      break;
  }
}

bool Known(ValueKind k) {
  return k != ValueKind::kNull;
}
bool IsMoment(ValueKind k) {
  return k == ValueKind::kDate || k == ValueKind::kDateTime;
}

// Static kind of a binary operator's result; Mismatch when both sides are known and do not combine.
ValueKind BinaryKind(const Expr& e, ValueKind a, ValueKind b) {
  using K = ValueKind;
  switch (e.op) {
    case Op::kAdd:
      if (!Known(a) || !Known(b)) {
        if (a == K::kText || b == K::kText) return K::kText;
        if (IsMoment(a)) return a;
        if (IsMoment(b)) return b;
        if (a == K::kLogical || b == K::kLogical) Mismatch(e);
        return K::kNull;
      }
      if (a == K::kText && b == K::kText) return K::kText;
      if (a == K::kNumber && b == K::kNumber) return K::kNumber;
      if (IsMoment(a) && b == K::kNumber) return a;
      if (a == K::kNumber && IsMoment(b)) return b;
      Mismatch(e);
    case Op::kSub:
      if (!Known(a) || !Known(b)) {
        if (a == K::kText || b == K::kText) return K::kText;
        if (a == K::kLogical || b == K::kLogical) Mismatch(e);
        return K::kNull;
      }
      if (a == K::kText && b == K::kText) return K::kText;
      if (a == K::kNumber && b == K::kNumber) return K::kNumber;
      if (IsMoment(a) && b == K::kNumber) return a;
      if (IsMoment(a) && a == b) return K::kNumber;
      Mismatch(e);
    case Op::kMul:
    case Op::kDiv:
    case Op::kMod:
    case Op::kPow:
      if ((Known(a) && a != K::kNumber) || (Known(b) && b != K::kNumber)) Mismatch(e);
      return K::kNumber;
    case Op::kAnd:
    case Op::kOr:
      if ((Known(a) && a != K::kLogical) || (Known(b) && b != K::kLogical)) Mismatch(e);
      return K::kLogical;
    case Op::kContains:
      if ((Known(a) && a != K::kText) || (Known(b) && b != K::kText)) Mismatch(e);
      return K::kLogical;
    default:  // comparisons
      if (Known(a) && Known(b) && a != b) Mismatch(e);
      return K::kLogical;
  }
}

int BinaryDecimals(const Expr& e) {
  int a = e.args[0]->decimals, b = e.args[1]->decimals;
  switch (e.op) {
    case Op::kMul:
      return a + b;
    case Op::kDiv:
    case Op::kPow:
      return std::max({a, b, 2});
    default:
      return std::max(a, b);
  }
}

void BindNode(Expr& e, const BindOptions& o, const EvalEnv& env, bool insideAggregate);

bool IsComparison(Op op) {
  return op == Op::kEq || op == Op::kExactEq || op == Op::kNe || op == Op::kLt || op == Op::kLe ||
         op == Op::kGt || op == Op::kGe;
}

// The operator with its operands swapped (5 < x  is  x > 5).
Op Flipped(Op op) {
  switch (op) {
    case Op::kLt:
      return Op::kGt;
    case Op::kLe:
      return Op::kGe;
    case Op::kGt:
      return Op::kLt;
    case Op::kGe:
      return Op::kLe;
    default:
      return op;
  }
}

// A character field whose stored bytes are its value (no code page conversion, no varchar length).
const dbf::Field* PlainTextField(const Expr& e) {
  if (e.kind != ExprKind::kColumn || e.field->type != dbf::FieldType::kCharacter || e.field->oemText)
    return nullptr;
  return e.field;
}

// True when no other byte has the weight of `c` under the collation (so matching it is matching the byte).
bool WeighsAlone(Collation collation, unsigned char c) {
  if (collation == Collation::kMachine) return true;
  const uint16_t w = CollationWeight(collation, c);
  for (int b = 0; b < 256; ++b) {
    if (b != c && CollationWeight(collation, static_cast<unsigned char>(b)) == w) return false;
  }
  return true;
}

void ChooseFastForm(Expr& e, const EvalEnv& env) {
  if (e.kind == ExprKind::kBinary && IsComparison(e.op)) {
    Expr* column = nullptr;
    const Expr* constant = nullptr;
    Op op = e.op;
    if (e.args[1]->constant) {
      column = e.args[0].get();
      constant = e.args[1].get();
    } else if (e.args[0]->constant) {
      column = e.args[1].get();
      constant = e.args[0].get();
      op = Flipped(op);
    }
    if (!column || constant->constantValue.isNull()) return;
    const Value& k = constant->constantValue;
    if (column->kind == ExprKind::kColumn && column->field->type == dbf::FieldType::kDate &&
        k.kind == ValueKind::kDate) {
      e.fast = FastForm::kDateCompare;
      e.fastBytes = CompactDateText(k.moment);
    } else if (column->kind == ExprKind::kColumn && k.kind == ValueKind::kNumber &&
               (column->field->type == dbf::FieldType::kNumeric ||
                column->field->type == dbf::FieldType::kFloat ||
                column->field->type == dbf::FieldType::kInteger)) {
      e.fast = FastForm::kNumberCompare;
      e.fastNumber = k.number;
    } else if (k.kind == ValueKind::kText && env.ansi &&
               (op == Op::kEq || op == Op::kNe || op == Op::kExactEq) &&
               k.text.find_first_not_of(' ') == std::string_view::npos) {
      // Only the blank itself weighs as a blank, so "equal to blanks" is "all blanks" under every collation.
      const Expr* inner = column;
      if (column->kind == ExprKind::kFunction) {
        auto id = static_cast<FunctionId>(column->function);
        if (id != FunctionId::kTrim && id != FunctionId::kRtrim && id != FunctionId::kLtrim &&
            id != FunctionId::kAlltrim)
          return;
        inner = column->args[0].get();
      }
      const dbf::Field* field = PlainTextField(*inner);
      if (!field) return;
      e.fast = FastForm::kBlankCompare;
      e.fastField = field;
      e.fastOp = op;
      return;
    } else {
      return;
    }
    e.fastField = column->field;
    e.fastOp = op;
    return;
  }
  if (e.kind == ExprKind::kLike && e.args[1]->constant && e.args[1]->constantValue.kind == ValueKind::kText) {
    const dbf::Field* field = PlainTextField(*e.args[0]);
    std::string_view p = e.args[1]->constantValue.text;
    if (!field || p.size() < 3 || p.front() != '%' || p.back() != '%') return;
    std::string_view inner = p.substr(1, p.size() - 2);
    for (char c : inner) {
      if (c == '%' || c == '_' || !WeighsAlone(env.collation, static_cast<unsigned char>(c))) return;
    }
    e.fast = FastForm::kContains;
    e.fastField = field;
    e.fastBytes = std::string(inner);
  }
}

void Fold(Expr& e, const EvalEnv& env) {
  RowContext none;
  Value v = Evaluate(e, none, env);
  if (v.kind == ValueKind::kText) {
    e.constantText.assign(v.text);
    v.text = e.constantText;
  }
  e.constantValue = v;
  e.constant = true;
}

bool ArgsConstant(const Expr& e) {
  for (const ExprPtr& a : e.args) {
    if (!a->constant) return false;
  }
  return true;
}

void BindFunction(Expr& e, const BindOptions& o, const EvalEnv& env, bool insideAggregate) {
  const FunctionInfo* info = FindFunction(e.name);
  if (!info) throw UnknownFunctionError("Unknown function " + e.name + At(e.position));
  e.function = static_cast<int>(info->id);
  e.functionInfo = info;
  if (e.args.size() < info->minArgs || e.args.size() > info->maxArgs) BadArgument(e);
  for (size_t i = 0; i < e.args.size(); ++i) {
    BindNode(*e.args[i], o, env, insideAggregate);
    char want = info->argKinds.size() == 1 ? info->argKinds[0] : info->argKinds[i];
    ValueKind k = e.args[i]->staticKind;
    if (!Known(k) || want == '*') continue;
    bool ok = (want == 'C' && k == ValueKind::kText) || (want == 'N' && k == ValueKind::kNumber) ||
              (want == 'D' && IsMoment(k)) || (want == 'T' && IsMoment(k)) ||
              (want == 'L' && k == ValueKind::kLogical);
    if (!ok) BadArgument(e);
  }
  ValueKind result = info->result;
  int decimals = 0;
  switch (info->id) {
    case FunctionId::kIif:
    case FunctionId::kNvl:
    case FunctionId::kMin:
    case FunctionId::kMax: {
      size_t first = info->id == FunctionId::kIif ? 1 : 0;
      for (size_t i = first; i < e.args.size(); ++i) {
        ValueKind k = e.args[i]->staticKind;
        if (Known(k) && !Known(result)) result = k;
        if (Known(k) && k != result && info->id != FunctionId::kIif && info->id != FunctionId::kNvl)
          BadArgument(e);
        decimals = std::max(decimals, e.args[i]->decimals);
      }
      break;
    }
    case FunctionId::kDate:
      if (e.args.size() != 0 && e.args.size() != 3) BadArgument(e);
      break;
    case FunctionId::kDateTime:
      if (e.args.size() != 0 && e.args.size() < 3) BadArgument(e);
      break;
    case FunctionId::kVal:
      decimals = 2;
      break;
    case FunctionId::kAbs:
      decimals = e.args[0]->decimals;
      break;
    case FunctionId::kMod:
      decimals = std::max(e.args[0]->decimals, e.args[1]->decimals);
      break;
    case FunctionId::kRound:
      decimals = e.args[1]->constant && e.args[1]->constantValue.kind == ValueKind::kNumber
                     ? static_cast<int>(std::max(0.0, std::min(18.0, e.args[1]->constantValue.number)))
                     : 2;
      break;
    default:
      break;
  }
  SetComputedType(e, result, decimals);
  if (!info->perRecord && ArgsConstant(e)) Fold(e, env);
}

void BindNode(Expr& e, const BindOptions& o, const EvalEnv& env, bool insideAggregate) {
  switch (e.kind) {
    case ExprKind::kLiteral:
      if (e.literal.kind == ValueKind::kText) e.literal.text = e.literalText;
      SetComputedType(e, e.literal.kind, e.literalDecimals);
      if (e.literal.kind == ValueKind::kText) e.width = static_cast<int>(e.literalText.size());
      e.constantValue = e.literal;
      e.constant = true;
      return;
    case ExprKind::kColumn: {
      e.field = o.layout ? o.layout->FindField(e.name) : nullptr;
      if (!e.field) throw UnknownColumnError("Column '" + e.name + "' is not found" + At(e.position));
      e.staticKind = KindOfField(e.field->type);
      e.type = e.field->type;
      e.width = e.field->length;
      e.decimals = e.field->type == dbf::FieldType::kCurrency ? 4 : e.field->decimals;
      return;
    }
    case ExprKind::kUnary: {
      BindNode(*e.args[0], o, env, insideAggregate);
      ValueKind k = e.args[0]->staticKind;
      if (e.op == Op::kNeg) {
        if (Known(k) && k != ValueKind::kNumber) Mismatch(e);
        SetComputedType(e, ValueKind::kNumber, e.args[0]->decimals);
      } else {
        if (Known(k) && k != ValueKind::kLogical) Mismatch(e);
        SetComputedType(e, ValueKind::kLogical, 0);
      }
      break;
    }
    case ExprKind::kBinary: {
      BindNode(*e.args[0], o, env, insideAggregate);
      BindNode(*e.args[1], o, env, insideAggregate);
      ValueKind k = BinaryKind(e, e.args[0]->staticKind, e.args[1]->staticKind);
      SetComputedType(e, k, k == ValueKind::kNumber ? BinaryDecimals(e) : 0);
      if (e.op == Op::kAnd || e.op == Op::kOr) {
        // a AND b AND c is parsed as (a AND b) AND c: take the inner operands up into one list.
        std::vector<ExprPtr> flat;
        for (ExprPtr& a : e.args) {
          if (a->kind == ExprKind::kBinary && a->op == e.op && !a->constant) {
            for (ExprPtr& inner : a->args) flat.push_back(std::move(inner));
          } else {
            flat.push_back(std::move(a));
          }
        }
        e.args = std::move(flat);
      }
      break;
    }
    case ExprKind::kFunction:
      BindFunction(e, o, env, insideAggregate);
      return;
    case ExprKind::kAggregate: {
      if (!o.allowAggregates || insideAggregate || !o.aggregates)
        throw InvalidStatementError("An aggregate function is not allowed here" + At(e.position));
      if (!e.countStar) BindNode(*e.args[0], o, env, true);
      ValueKind argKind = e.countStar ? ValueKind::kNull : e.args[0]->staticKind;
      int argDecimals = e.countStar ? 0 : e.args[0]->decimals;
      switch (e.aggregate) {
        case AggregateKind::kCount:
          SetComputedType(e, ValueKind::kNumber, 0);
          e.width = 10;
          break;
        case AggregateKind::kSum:
        case AggregateKind::kAvg:
          if (Known(argKind) && argKind != ValueKind::kNumber) Mismatch(e);
          SetComputedType(e, ValueKind::kNumber,
                          e.aggregate == AggregateKind::kAvg ? std::max(argDecimals + 4, 4) : argDecimals);
          break;
        case AggregateKind::kMin:
        case AggregateKind::kMax:
          SetComputedType(e, argKind, argDecimals);
          if (!e.countStar && e.args[0]->kind == ExprKind::kColumn) {
            e.type = e.args[0]->type;
            e.width = e.args[0]->width;
          }
          break;
      }
      e.aggregateSlot = static_cast<int>(o.aggregates->size());
      o.aggregates->push_back(&e);
      return;
    }
    case ExprKind::kLike:
    case ExprKind::kIsNull:
    case ExprKind::kBetween:
    case ExprKind::kIn: {
      for (ExprPtr& a : e.args) BindNode(*a, o, env, insideAggregate);
      if (e.kind == ExprKind::kLike) {
        for (ExprPtr& a : e.args) {
          if (Known(a->staticKind) && a->staticKind != ValueKind::kText) Mismatch(e);
        }
      } else if (e.kind != ExprKind::kIsNull) {
        ValueKind k = e.args[0]->staticKind;
        for (ExprPtr& a : e.args) {
          if (Known(k) && Known(a->staticKind) && a->staticKind != k) Mismatch(e);
        }
      }
      SetComputedType(e, ValueKind::kLogical, 0);
      break;
    }
  }
  if (ArgsConstant(e)) {
    Fold(e, env);
  } else {
    ChooseFastForm(e, env);
  }
}

// --- evaluation ---

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
      return Value::Number(dbf::DecodeNumeric(f, rec).value);
    case dbf::FieldType::kInteger:
      return Value::Number(dbf::DecodeInteger(f, rec));
    case dbf::FieldType::kDouble:
      return Value::Number(dbf::DecodeDouble(f, rec));
    case dbf::FieldType::kCurrency:
      return Value::Number(static_cast<double>(dbf::DecodeCurrency(f, rec)) / 10000.0);
    case dbf::FieldType::kDate:
      return Value::Date(dbf::DecodeDate(f, rec).value_or(0));
    case dbf::FieldType::kDateTime: {
      auto t = dbf::DecodeDateTime(f, rec);
      return Value::DateTime(t ? t->julianDay * kMillisecondsPerDay + t->milliseconds : 0);
    }
    case dbf::FieldType::kLogical:
      return Value::Logical(dbf::DecodeLogical(f, rec).value_or(false));
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

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}
std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
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

// The comparison operators; null when either side is null.
Value Compare(const Expr& e, Op op, const Value& a, const Value& b, const EvalEnv& env) {
  if (a.isNull() || b.isNull()) return Value::Null();
  if (a.kind != b.kind) Mismatch(e);
  if (a.kind == ValueKind::kText) {
    if (op == Op::kExactEq) return Value::Logical(ExactlyEqual(a.text, b.text));
    if (!env.ansi && (op == Op::kEq || op == Op::kNe)) {
      size_t n = std::min(a.text.size(), b.text.size());
      bool eq = CompareText(env.collation, a.text.substr(0, n), b.text.substr(0, n)) == 0;
      return Value::Logical(op == Op::kEq ? eq : !eq);
    }
  }
  int c = CompareSameKind(a, b, env.collation);
  switch (op) {
    case Op::kEq:
    case Op::kExactEq:
      return Value::Logical(c == 0);
    case Op::kNe:
      return Value::Logical(c != 0);
    case Op::kLt:
      return Value::Logical(c < 0);
    case Op::kLe:
      return Value::Logical(c <= 0);
    case Op::kGt:
      return Value::Logical(c > 0);
    default:
      return Value::Logical(c >= 0);
  }
}

bool CharsMatch(unsigned char p, unsigned char s, Collation collation) {
  return p == s ||
         (collation != Collation::kMachine && CollationWeight(collation, p) == CollationWeight(collation, s));
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

bool AllDigits(const char* p) {
  for (int i = 0; i < 8; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
  }
  return true;
}

// A fast form over the record bytes; falls back to the general evaluation when the bytes are unusual.
Value EvaluateFast(Expr& e, const RowContext& row, const EvalEnv& env, bool& done) {
  done = true;
  const dbf::Field& f = *e.fastField;
  if (f.nullBit >= 0 && dbf::IsNull(f, row.record)) return Value::Null();
  std::string_view bytes = dbf::FieldBytes(f, row.record);
  switch (e.fast) {
    case FastForm::kDateCompare: {
      // yyyymmdd text orders as the dates do; the empty date (blanks) sorts first.
      const bool blank = bytes.find_first_not_of(' ') == std::string_view::npos;
      if (!blank && !AllDigits(bytes.data())) break;
      int c = std::memcmp(blank ? "        " : bytes.data(), e.fastBytes.data(), 8);
      return Value::Logical(OrderHolds(e.fastOp, c));
    }
    case FastForm::kNumberCompare: {
      double v = dbf::DecodeNumber(f, row.record);
      return Value::Logical(OrderHolds(e.fastOp, v < e.fastNumber ? -1 : v > e.fastNumber ? 1 : 0));
    }
    case FastForm::kBlankCompare: {
      const bool blank = bytes.find_first_not_of(' ') == std::string_view::npos;
      return Value::Logical(blank == (e.fastOp != Op::kNe));
    }
    case FastForm::kContains: {
      const bool found = bytes.find(e.fastBytes) != std::string_view::npos;
      return Value::Logical(found != e.negated);
    }
    case FastForm::kNone:
      break;
  }
  done = false;
  return Value::Null();
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

Value EvaluateFunction(Expr& e, const RowContext& row, const EvalEnv& env);

EvalEnv MakeEvalEnv(Collation collation, const LocalDateTime& now, const RegionalSettings& regional) {
  EvalEnv env;
  env.collation = collation;
  env.regional = &regional;
  env.today = IsValidDate(now.year, now.month, now.day) ? JulianDayFromCivil(now.year, now.month, now.day)
                                                        : JulianDayFromCivil(2000, 1, 1);
  env.nowMs = env.today * kMillisecondsPerDay + (now.hour * 3600LL + now.minute * 60 + now.second) * 1000;
  return env;
}

void Bind(Expr& expr, const BindOptions& options, const EvalEnv& env) {
  BindNode(expr, options, env, false);
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
      if (e.fast != FastForm::kNone) {
        bool done;
        Value v = EvaluateFast(e, row, env, done);
        if (done) return v;
      }
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
      if (e.fast != FastForm::kNone) {
        bool done;
        Value v = EvaluateFast(e, row, env, done);
        if (done) return v;
      }
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

// --- functions ---

namespace {

void RequireKind(const Expr& e, const Value& v, char want) {
  bool ok = (want == 'C' && v.kind == ValueKind::kText) || (want == 'N' && v.kind == ValueKind::kNumber) ||
            ((want == 'D' || want == 'T') && IsMoment(v.kind)) || want == '*';
  if (!ok) BadArgument(e);
}

int64_t DateOf(const Value& v) {
  if (v.kind == ValueKind::kDate) return v.moment;
  return v.moment == 0 ? 0 : v.moment / kMillisecondsPerDay;
}

double WholeArg(const Expr& e, const Value& v, double lo, double hi) {
  if (v.kind != ValueKind::kNumber || !std::isfinite(v.number)) BadArgument(e);
  double n = std::trunc(v.number);
  if (n < lo || n > hi) BadArgument(e);
  return n;
}

Value Text(Expr& e, std::string text) {
  e.scratch = std::move(text);
  return Value::Text(e.scratch);
}

Value Pad(Expr& e, FunctionId id, std::string_view text, double length, std::string_view fill) {
  size_t n = static_cast<size_t>(length);
  char c = fill.empty() ? ' ' : fill[0];
  if (text.size() >= n) {
    e.scratch.assign(text.substr(0, n));
    return Value::Text(e.scratch);
  }
  size_t extra = n - text.size();
  size_t left = id == FunctionId::kPadl ? extra : id == FunctionId::kPadc ? extra / 2 : 0;
  e.scratch.assign(left, c);
  e.scratch.append(text);
  e.scratch.append(extra - left, c);
  return Value::Text(e.scratch);
}

}  // namespace

Value EvaluateFunction(Expr& e, const RowContext& row, const EvalEnv& env) {
  const auto id = static_cast<FunctionId>(e.function);
  // Functions that look at nulls themselves, or evaluate only some arguments.
  switch (id) {
    case FunctionId::kIif: {
      Value c = Evaluate(*e.args[0], row, env);
      if (!c.isNull() && c.kind != ValueKind::kLogical) BadArgument(e);
      return Evaluate(*e.args[c.kind == ValueKind::kLogical && c.logical ? 1 : 2], row, env);
    }
    case FunctionId::kNvl: {
      Value a = Evaluate(*e.args[0], row, env);
      return a.isNull() ? Evaluate(*e.args[1], row, env) : a;
    }
    case FunctionId::kIsNull:
      return Value::Logical(Evaluate(*e.args[0], row, env).isNull());
    case FunctionId::kEmpty: {
      Value a = Evaluate(*e.args[0], row, env);
      switch (a.kind) {
        case ValueKind::kNull:
          return Value::Logical(false);
        case ValueKind::kText:
          return Value::Logical(a.text.find_first_not_of(" \t\r\n") == std::string_view::npos);
        case ValueKind::kNumber:
          return Value::Logical(a.number == 0);
        case ValueKind::kLogical:
          return Value::Logical(!a.logical);
        default:
          return Value::Logical(a.moment == 0);
      }
    }
    case FunctionId::kInlist: {
      Value x = Evaluate(*e.args[0], row, env);
      if (x.isNull()) return x;
      bool sawNull = false;
      for (size_t i = 1; i < e.args.size(); ++i) {
        Value c = Compare(e, Op::kEq, x, Evaluate(*e.args[i], row, env), env);
        if (c.isNull()) {
          sawNull = true;
        } else if (c.logical) {
          return c;
        }
      }
      return sawNull ? Value::Null() : Value::Logical(false);
    }
    case FunctionId::kBetween: {
      Value x = Evaluate(*e.args[0], row, env);
      Value ge = Compare(e, Op::kGe, x, Evaluate(*e.args[1], row, env), env);
      Value le = Compare(e, Op::kLe, x, Evaluate(*e.args[2], row, env), env);
      if (ge.isNull() || le.isNull()) return Value::Null();
      return Value::Logical(ge.logical && le.logical);
    }
    case FunctionId::kMin:
    case FunctionId::kMax: {
      Value best = Evaluate(*e.args[0], row, env);
      if (best.isNull()) return best;
      for (size_t i = 1; i < e.args.size(); ++i) {
        Value v = Evaluate(*e.args[i], row, env);
        if (v.isNull()) return v;
        if (v.kind != best.kind) BadArgument(e);
        int c = CompareSameKind(v, best, env.collation);
        if (id == FunctionId::kMin ? c < 0 : c > 0) best = v;
      }
      return best;
    }
    case FunctionId::kDeleted:
      return Value::Logical(!row.record.empty() && row.record[0] == '*');
    case FunctionId::kRecno:
      return Value::Number(row.recno);
    default:
      break;
  }

  // The rest: .NULL. in any argument gives .NULL.
  Value a[6];
  const size_t n = std::min<size_t>(e.args.size(), 6);
  for (size_t i = 0; i < n; ++i) {
    a[i] = Evaluate(*e.args[i], row, env);
    if (a[i].isNull()) return Value::Null();
  }
  const FunctionInfo* info = e.functionInfo;
  for (size_t i = 0; i < n && info; ++i) {
    RequireKind(e, a[i], info->argKinds.size() == 1 ? info->argKinds[0] : info->argKinds[i]);
  }

  switch (id) {
    case FunctionId::kDate: {
      if (n == 0) return Value::Date(env.today);
      int y = static_cast<int>(WholeArg(e, a[0], 0, 9999)), m = static_cast<int>(WholeArg(e, a[1], 0, 12)),
          d = static_cast<int>(WholeArg(e, a[2], 0, 31));
      if (y == 0 && m == 0 && d == 0) return Value::Date(0);
      if (!IsValidDate(y, m, d)) BadArgument(e);
      return Value::Date(JulianDayFromCivil(y, m, d));
    }
    case FunctionId::kDateTime: {
      if (n == 0) return Value::DateTime(env.nowMs);
      int y = static_cast<int>(WholeArg(e, a[0], 1, 9999)), m = static_cast<int>(WholeArg(e, a[1], 1, 12)),
          d = static_cast<int>(WholeArg(e, a[2], 1, 31));
      if (!IsValidDate(y, m, d)) BadArgument(e);
      int64_t h = n > 3 ? static_cast<int64_t>(WholeArg(e, a[3], 0, 23)) : 0;
      int64_t mi = n > 4 ? static_cast<int64_t>(WholeArg(e, a[4], 0, 59)) : 0;
      int64_t s = n > 5 ? static_cast<int64_t>(WholeArg(e, a[5], 0, 59)) : 0;
      return Value::DateTime(JulianDayFromCivil(y, m, d) * kMillisecondsPerDay +
                             (h * 3600 + mi * 60 + s) * 1000);
    }
    case FunctionId::kDtos:
      return Text(e, CompactDateText(DateOf(a[0])));
    case FunctionId::kDtoc:
      if (n == 2 && a[1].number == 1) return Text(e, CompactDateText(DateOf(a[0])));
      return Text(e, ShortDateText(DateOf(a[0]), *env.regional));
    case FunctionId::kTtoc: {
      int64_t ms = a[0].kind == ValueKind::kDate ? a[0].moment * kMillisecondsPerDay : a[0].moment;
      if (n == 2 && a[1].number == 1) return Text(e, CompactDateTimeText(ms));
      return Text(e, MomentText(ms, *env.regional));
    }
    case FunctionId::kStr: {
      double length = n > 1 ? WholeArg(e, a[1], -1e9, 255) : 10;
      double decimals = n > 2 ? WholeArg(e, a[2], -1e9, 18) : 0;
      if (length < 0) length = 0;
      if (decimals < 0) decimals = 0;
      return Text(e, StrText(a[0].number, static_cast<int>(length), static_cast<int>(decimals)));
    }
    case FunctionId::kTrim:
    case FunctionId::kRtrim:
      return Value::Text(TrimRight(a[0].text));
    case FunctionId::kLtrim:
      return Value::Text(TrimLeft(a[0].text));
    case FunctionId::kAlltrim:
      return Value::Text(TrimLeft(TrimRight(a[0].text)));
    case FunctionId::kUpper:
    case FunctionId::kLower:
      e.scratch.assign(a[0].text);
      for (char& c : e.scratch) c = id == FunctionId::kUpper ? ToUpperAnsi(c) : ToLowerAnsi(c);
      return Value::Text(e.scratch);
    case FunctionId::kSubstr: {
      double start = WholeArg(e, a[1], 1, kMaxTextLength);
      double length = n > 2 ? WholeArg(e, a[2], -1e9, kMaxTextLength) : kMaxTextLength;
      std::string_view s = a[0].text;
      if (start > static_cast<double>(s.size()) || length <= 0) return Value::Text({});
      return Value::Text(s.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(length)));
    }
    case FunctionId::kLeft:
    case FunctionId::kRight: {
      double length = WholeArg(e, a[1], -1e9, kMaxTextLength);
      std::string_view s = a[0].text;
      if (length <= 0) return Value::Text({});
      size_t k = std::min(s.size(), static_cast<size_t>(length));
      return Value::Text(id == FunctionId::kLeft ? s.substr(0, k) : s.substr(s.size() - k));
    }
    case FunctionId::kLen:
      return Value::Number(static_cast<double>(a[0].text.size()));
    case FunctionId::kVal:
      return Value::Number(ParseLeadingNumber(a[0].text));
    case FunctionId::kInt:
      return Value::Number(std::trunc(a[0].number));
    case FunctionId::kRound:
      return Value::Number(RoundHalfAway(a[0].number, static_cast<int>(WholeArg(e, a[1], -18, 18))));
    case FunctionId::kAbs:
      return Value::Number(std::fabs(a[0].number));
    case FunctionId::kCeiling:
      return Value::Number(std::ceil(a[0].number));
    case FunctionId::kFloor:
      return Value::Number(std::floor(a[0].number));
    case FunctionId::kSign:
      return Value::Number(a[0].number > 0 ? 1 : a[0].number < 0 ? -1 : 0);
    case FunctionId::kMod: {
      if (a[1].number == 0) throw SqlError("Division by zero" + At(e.position));
      double r = std::fmod(a[0].number, a[1].number);
      if (r != 0 && ((r < 0) != (a[1].number < 0))) r += a[1].number;
      return Value::Number(r);
    }
    case FunctionId::kYear:
    case FunctionId::kMonth:
    case FunctionId::kDay: {
      int64_t d = DateOf(a[0]);
      if (d == 0) return Value::Number(0);
      CivilDate c = CivilFromJulianDay(d);
      return Value::Number(id == FunctionId::kYear ? c.year : id == FunctionId::kMonth ? c.month : c.day);
    }
    case FunctionId::kHour:
    case FunctionId::kMinute:
    case FunctionId::kSec: {
      int64_t ms = a[0].kind == ValueKind::kDateTime ? a[0].moment % kMillisecondsPerDay : 0;
      int64_t s = ms / 1000;
      return Value::Number(static_cast<double>(id == FunctionId::kHour     ? s / 3600
                                               : id == FunctionId::kMinute ? s / 60 % 60
                                                                           : s % 60));
    }
    case FunctionId::kDow: {
      int64_t d = DateOf(a[0]);
      if (d == 0) return Value::Number(0);
      return Value::Number(static_cast<double>((d + 1) % 7 + 1));  // 1 = Sunday
    }
    case FunctionId::kGomonth: {
      int64_t d = DateOf(a[0]);
      if (d == 0) return Value::Date(0);
      double months = WholeArg(e, a[1], -120000, 120000);
      CivilDate c = CivilFromJulianDay(d);
      int64_t total = static_cast<int64_t>(c.year) * 12 + (c.month - 1) + static_cast<int64_t>(months);
      int y = static_cast<int>(total / 12), m = static_cast<int>(total % 12) + 1;
      if (y < 1 || y > 9999) BadArgument(e);
      return Value::Date(JulianDayFromCivil(y, m, std::min(c.day, DaysInMonth(y, m))));
    }
    case FunctionId::kCtod:
      return Value::Date(ParseShortDate(a[0].text, *env.regional));
    case FunctionId::kTtod:
      return Value::Date(DateOf(a[0]));
    case FunctionId::kDtot:
      return Value::DateTime(a[0].kind == ValueKind::kDate ? a[0].moment * kMillisecondsPerDay : a[0].moment);
    case FunctionId::kPadl:
    case FunctionId::kPadr:
    case FunctionId::kPadc:
      return Pad(e, id, a[0].text, WholeArg(e, a[1], 0, kMaxTextLength), n > 2 ? a[2].text : " ");
    case FunctionId::kSpace:
      e.scratch.assign(static_cast<size_t>(WholeArg(e, a[0], 0, kMaxTextLength)), ' ');
      return Value::Text(e.scratch);
    case FunctionId::kChr:
      e.scratch.assign(1, static_cast<char>(static_cast<unsigned char>(WholeArg(e, a[0], 0, 255))));
      return Value::Text(e.scratch);
    case FunctionId::kAsc:
      return Value::Number(a[0].text.empty() ? 0 : static_cast<unsigned char>(a[0].text[0]));
    case FunctionId::kAt: {
      double occurrence = n > 2 ? WholeArg(e, a[2], 1, kMaxTextLength) : 1;
      std::string_view needle = a[0].text, hay = a[1].text;
      if (needle.empty()) return Value::Number(0);
      size_t pos = 0;
      for (double k = 0; k < occurrence; ++k) {
        size_t found = hay.find(needle, pos);
        if (found == std::string_view::npos) return Value::Number(0);
        pos = found + 1;
      }
      return Value::Number(static_cast<double>(pos));
    }
    default:
      BadArgument(e);
  }
}

}  // namespace vorel::sql
