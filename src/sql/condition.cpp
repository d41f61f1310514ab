#include "sql/condition.h"

#include <cstring>

#include "sql/sql_errors.h"

namespace vorel::sql {
namespace {

uint64_t LoadBigEndian8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

bool Holds(Op op, int c) {
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

bool AllBlank(const char* p, size_t n) {
  constexpr uint64_t kBlanks = 0x2020202020202020ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, sizeof v);
    if (v != kBlanks) return false;
  }
  for (; i < n; ++i) {
    if (p[i] != ' ') return false;
  }
  return true;
}

}  // namespace

Condition::Condition(Expr* expr, const EvalEnv& env) : env_(&env) {
  if (!expr) return;
  always_ = false;
  root_ = Add(*expr);
  ChooseGuard();
}

void Condition::ChooseGuard() {
  const Node& root = nodes_[root_];
  std::vector<uint32_t> candidates;
  if (root.kind == Kind::kAnd) {
    for (uint32_t i = 0; i < root.childCount; ++i) candidates.push_back(children_[root.firstChild + i]);
  } else {
    candidates.push_back(root_);
  }
  // Fast tests never fail, so evaluating the guard ahead of those before it changes nothing; a general test
  // might, and no guard may skip it.
  for (uint32_t index : candidates) {
    const Node& n = nodes_[index];
    if (n.kind <= Kind::kGeneral) return;
    if ((n.kind != Kind::kDate && n.kind != Kind::kDateRange) || n.field->nullBit >= 0 ||
        n.field->type != dbf::FieldType::kDate)
      continue;
    constexpr uint64_t kMax = ~uint64_t{0};
    Guard g;
    g.field = n.field;
    if (n.kind == Kind::kDateRange) {
      g.low = n.date;
      g.high = n.dateHigh;
    } else {
      switch (n.op) {
        case Op::kEq:
        case Op::kExactEq:
          g.low = g.high = n.date;
          break;
        case Op::kGe:
          g.low = n.date;
          g.high = kMax;
          break;
        case Op::kGt:
          if (n.date == kMax) continue;
          g.low = n.date + 1;
          g.high = kMax;
          break;
        case Op::kLe:
          g.high = n.date;
          break;
        case Op::kLt:
          if (n.date == 0) continue;
          g.high = n.date - 1;
          break;
        default:
          continue;
      }
    }
    guard_ = g;
    return;
  }
}

uint32_t Condition::Add(Expr& e) {
  Node n;
  n.expr = &e;
  if (e.kind == ExprKind::kBinary && (e.op == Op::kAnd || e.op == Op::kOr)) {
    n.kind = e.op == Op::kAnd ? Kind::kAnd : Kind::kOr;
    std::vector<uint32_t> kids;
    for (ExprPtr& a : e.args) kids.push_back(Add(*a));
    if (n.kind == Kind::kAnd) MergeDateRanges(kids);
    n.firstChild = static_cast<uint32_t>(children_.size());
    n.childCount = static_cast<uint32_t>(kids.size());
    children_.insert(children_.end(), kids.begin(), kids.end());
  } else if (e.kind == ExprKind::kUnary && e.op == Op::kNot) {
    n.kind = Kind::kNot;
    uint32_t kid = Add(*e.args[0]);
    n.firstChild = static_cast<uint32_t>(children_.size());
    n.childCount = 1;
    children_.push_back(kid);
  } else if (e.fast != FastForm::kNone) {
    n.field = e.fastField;
    n.op = e.fastOp;
    n.negated = e.negated;
    switch (e.fast) {
      case FastForm::kDateCompare:
        n.kind = Kind::kDate;
        n.date = LoadBigEndian8(e.fastBytes.data());
        break;
      case FastForm::kNumberCompare:
        n.kind = Kind::kNumber;
        n.number = e.fastNumber;
        if ((n.field->type == dbf::FieldType::kNumeric || n.field->type == dbf::FieldType::kFloat) &&
            n.field->length <= 16) {
          n.memoMask[0] = n.field->length >= 8 ? ~0ull : ~0ull >> (8 * (8 - n.field->length));
          n.memoMask[1] = n.field->length <= 8 ? 0 : ~0ull >> (8 * (16 - n.field->length));
        }
        break;
      case FastForm::kBlankCompare:
        n.kind = Kind::kBlank;
        break;
      case FastForm::kContains:
        n.kind = Kind::kContains;
        n.bytes = e.fastBytes;
        break;
      case FastForm::kNone:
        break;
    }
  }
  nodes_.push_back(std::move(n));
  return static_cast<uint32_t>(nodes_.size() - 1);
}

// d >= x AND d <= y on one date field (the date windows of the exports): one test of the stored bytes.
void Condition::MergeDateRanges(std::vector<uint32_t>& kids) {
  for (size_t i = 0; i < kids.size(); ++i) {
    Node& lower = nodes_[kids[i]];
    if (lower.kind != Kind::kDate || lower.op != Op::kGe) continue;
    for (size_t j = 0; j < kids.size(); ++j) {
      Node& upper = nodes_[kids[j]];
      if (j == i || upper.kind != Kind::kDate || upper.op != Op::kLe || upper.field != lower.field) continue;
      lower.kind = Kind::kDateRange;
      lower.dateHigh = upper.date;
      lower.exprHigh = upper.expr;
      kids.erase(kids.begin() + static_cast<std::ptrdiff_t>(j));
      return;
    }
  }
}

Condition::Tri Condition::General(const Expr& expr, const RowContext& row) const {
  Value v = Evaluate(const_cast<Expr&>(expr), row, *env_);
  if (v.isNull()) return Tri::kUnknown;
  if (v.kind != ValueKind::kLogical)
    throw TypeMismatchError("Operator/operand type mismatch at position " + std::to_string(expr.position));
  return v.logical ? Tri::kTrue : Tri::kFalse;
}

Condition::Tri Condition::Eval(uint32_t index, const RowContext& row) const {
  const Node& n = nodes_[index];
  switch (n.kind) {
    case Kind::kAnd:
    case Kind::kOr: {
      const Tri stop = n.kind == Kind::kAnd ? Tri::kFalse : Tri::kTrue;
      bool unknown = false;
      for (uint32_t i = 0; i < n.childCount; ++i) {
        const uint32_t kid = children_[n.firstChild + i];
        const Node& k = nodes_[kid];
        Tri t = k.kind > Kind::kGeneral ? Leaf(k, row) : Eval(kid, row);
        if (t == stop) return stop;
        if (t == Tri::kUnknown) unknown = true;
      }
      if (unknown) return Tri::kUnknown;
      return n.kind == Kind::kAnd ? Tri::kTrue : Tri::kFalse;
    }
    case Kind::kNot: {
      Tri t = Eval(children_[n.firstChild], row);
      return t == Tri::kUnknown ? t : (t == Tri::kTrue ? Tri::kFalse : Tri::kTrue);
    }
    case Kind::kGeneral:
      return General(*n.expr, row);
    default:
      return Leaf(n, row);
  }
}

inline __attribute__((always_inline)) Condition::Tri Condition::Leaf(const Node& n,
                                                                     const RowContext& row) const {
  const dbf::Field& f = *n.field;
  if (f.nullBit >= 0 && dbf::IsNull(f, row.record)) return Tri::kUnknown;
  const char* p = row.record.data() + f.offset;
  switch (n.kind) {
    case Kind::kDate:
    case Kind::kDateRange: {
      uint64_t v;
      std::memcpy(&v, p, 8);
      constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull, kZeros = 0x3030303030303030ull;
      constexpr uint64_t kBlanks = 0x2020202020202020ull;
      // yyyymmdd digits order as the dates do, and the empty date (blanks) sorts first.
      if (v != kBlanks && ((v & kHigh) != kZeros || ((v + 0x0606060606060606ull) & kHigh) != kZeros)) break;
      const uint64_t key = __builtin_bswap64(v);
      if (n.kind == Kind::kDateRange) return key >= n.date && key <= n.dateHigh ? Tri::kTrue : Tri::kFalse;
      return Holds(n.op, key < n.date ? -1 : key > n.date ? 1 : 0) ? Tri::kTrue : Tri::kFalse;
    }
    case Kind::kNumber: {
      // The result depends on the field's bytes alone (NULL was ruled out above).
      const bool memo = n.memoMask[0] != 0 && f.offset + 16 <= row.record.size();
      uint64_t a = 0, b = 0;
      if (memo) {
        std::memcpy(&a, p, 8);
        std::memcpy(&b, p + 8, 8);
        a &= n.memoMask[0];
        b &= n.memoMask[1];
        if (n.memoValid && a == n.memoBytes[0] && b == n.memoBytes[1]) return n.memoResult;
      }
      double v = dbf::DecodeNumber(f, row.record);
      const Tri t = Holds(n.op, v < n.number ? -1 : v > n.number ? 1 : 0) ? Tri::kTrue : Tri::kFalse;
      if (memo) {
        n.memoBytes[0] = a;
        n.memoBytes[1] = b;
        n.memoResult = t;
        n.memoValid = true;
      }
      return t;
    }
    case Kind::kBlank:
      return AllBlank(p, f.length) == (n.op != Op::kNe) ? Tri::kTrue : Tri::kFalse;
    case Kind::kContains: {
      std::string_view text(p, f.length);
      bool found = n.bytes.size() == 1 ? std::memchr(p, n.bytes[0], f.length) != nullptr
                                       : text.find(n.bytes) != std::string_view::npos;
      return found != n.negated ? Tri::kTrue : Tri::kFalse;
    }
    default:
      break;
  }
  if (n.kind == Kind::kDateRange) {
    // Unusual bytes: the two comparisons the range stands for, evaluated in full.
    Tri lower = General(*n.expr, row);
    if (lower == Tri::kFalse) return lower;
    Tri upper = General(*n.exprHigh, row);
    if (upper == Tri::kFalse) return upper;
    return lower == Tri::kTrue && upper == Tri::kTrue ? Tri::kTrue : Tri::kUnknown;
  }
  return General(*n.expr, row);
}

}  // namespace vorel::sql
