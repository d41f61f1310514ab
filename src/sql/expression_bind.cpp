#include <algorithm>

#include "sql/expression_internal.h"
#include "sql/functions.h"
#include "sql/stored_form.h"

// Binding: names resolved, operand types checked, each node's result type computed, constant parts computed
// once, and the predicates that the stored bytes answer recognised.
namespace vorel::sql {
namespace {

using namespace detail;

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
    ChooseStoredForm(e, env);
  }
}

}  // namespace

void Bind(Expr& expr, const BindOptions& options, const EvalEnv& env) {
  BindNode(expr, options, env, false);
}

}  // namespace vorel::sql
