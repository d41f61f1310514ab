#include "sql/stored_form.h"

#include <cstring>

#include "sql/date_text.h"
#include "sql/expression_internal.h"
#include "sql/functions.h"

namespace vorel::sql {
namespace {

using namespace detail;

bool AllDigits(const char* p) {
  for (int i = 0; i < 8; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
  }
  return true;
}

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

}  // namespace

void ChooseStoredForm(Expr& e, const EvalEnv& env) {
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

Value EvaluateStored(Expr& e, const RowContext& row, const EvalEnv& env, bool& done) {
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

}  // namespace vorel::sql
