#include "sql/condition.h"

#include "sql/expression_internal.h"
#include "sql/sql_errors.h"

namespace vorel::sql {

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
  // Stored tests never fail, so testing the guard ahead of those before it changes nothing; a general test
  // might, and no guard may skip it. A word of bytes other than blanks usually rules out the most records (a
  // slot key, a policy number), then a date window, then a word of blanks (a free slot's empty name).
  Guard word, blankWord, dates;
  for (uint32_t index : candidates) {
    const Node& n = nodes_[index];
    if (n.kind <= Kind::kGeneral) break;
    if (n.kind == Kind::kStored) {
      StoredWord w;
      if (!NecessaryWord(*n.test, w)) continue;
      Guard& g = w.value == (0x2020202020202020ull & w.mask) ? blankWord : word;
      if (g.kind != Guard::Kind::kNone) continue;
      g.kind = Guard::Kind::kWord;
      g.offset = w.offset;
      g.mask = w.mask;
      g.value = w.value;
      continue;
    }
    if (dates.kind != Guard::Kind::kNone || n.field->nullable()) continue;
    constexpr uint64_t kMax = ~uint64_t{0};
    uint64_t low = 0, high = kMax;
    if (n.kind == Kind::kDateRange) {
      low = n.date;
      high = n.dateHigh;
    } else {
      switch (n.op) {
        case Op::kEq:
        case Op::kExactEq:
          low = high = n.date;
          break;
        case Op::kGe:
          low = n.date;
          break;
        case Op::kGt:
          low = n.date + 1;
          break;
        case Op::kLe:
          high = n.date;
          break;
        case Op::kLt:
          if (n.date == 0) continue;
          high = n.date - 1;
          break;
        default:
          continue;
      }
    }
    dates.kind = Guard::Kind::kDates;
    dates.offset = n.field->offset;
    dates.low = low;
    dates.high = high;
    dates.emptyAccepted = low <= kBlankDateKey && kBlankDateKey <= high;
  }
  guard_ = word.kind != Guard::Kind::kNone ? word : dates.kind != Guard::Kind::kNone ? dates : blankWord;
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
  } else if (e.stored) {
    const StoredTest& t = *e.stored;
    if (t.kind == StoredTest::Kind::kDate && !t.negated) {
      n.kind = t.between ? Kind::kDateRange : Kind::kDate;
      n.field = t.field;
      n.op = t.op;
      n.date = t.dateKey;
      n.dateHigh = t.dateKeyHigh;
    } else {
      n.kind = Kind::kStored;
      n.test = &t;
      const uint32_t length = t.kind == StoredTest::Kind::kValue ? t.field->length : 0;
      if (length > 0 && length <= 16) {
        n.memoMask[0] = length >= 8 ? ~0ull : ~0ull >> (8 * (8 - length));
        n.memoMask[1] = length <= 8 ? 0 : ~0ull >> (8 * (16 - length));
      }
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
      kids.erase(kids.begin() + static_cast<std::ptrdiff_t>(j));
      return;
    }
  }
}

Tri Condition::General(const Expr& expr, const RowContext& row) const {
  Value v = Evaluate(const_cast<Expr&>(expr), row, *env_);
  if (v.isNull()) return Tri::kUnknown;
  if (v.kind != ValueKind::kLogical)
    throw TypeMismatchError("Operator/operand type mismatch at position " + std::to_string(expr.position));
  return v.logical ? Tri::kTrue : Tri::kFalse;
}

Tri Condition::Eval(uint32_t index, const RowContext& row) const {
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

inline __attribute__((always_inline)) Tri Condition::Leaf(const Node& n, const RowContext& row) const {
  if (n.kind == Kind::kStored) {
    if (n.memoMask[0] == 0) return TestStored(*n.test, row.record, *env_);
    // The result depends on the field's bytes alone once NULL is ruled out.
    const dbf::Field& f = *n.test->field;
    if (f.nullBit >= 0 && dbf::IsNull(f, row.record)) return Tri::kUnknown;
    if (f.offset + 16 > row.record.size()) return TestStored(*n.test, row.record, *env_);
    uint64_t a, b;
    std::memcpy(&a, row.record.data() + f.offset, 8);
    std::memcpy(&b, row.record.data() + f.offset + 8, 8);
    a &= n.memoMask[0];
    b &= n.memoMask[1];
    if (n.memoValid && a == n.memoBytes[0] && b == n.memoBytes[1]) return n.memoResult;
    const Tri t = TestStored(*n.test, row.record, *env_);
    n.memoBytes[0] = a;
    n.memoBytes[1] = b;
    n.memoResult = t;
    n.memoValid = true;
    return t;
  }
  const dbf::Field& f = *n.field;
  if (f.nullBit >= 0 && dbf::IsNull(f, row.record)) return Tri::kUnknown;
  const uint64_t key = StoredDateKey(row.record.data() + f.offset);
  if (n.kind == Kind::kDateRange) return key >= n.date && key <= n.dateHigh ? Tri::kTrue : Tri::kFalse;
  return detail::OrderHolds(n.op, key < n.date ? -1 : key > n.date ? 1 : 0) ? Tri::kTrue : Tri::kFalse;
}

}  // namespace vorel::sql
