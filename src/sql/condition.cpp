#include "sql/condition.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sql/expression_internal.h"
#include "sql/sql_errors.h"

namespace vorel::sql {

Condition::Condition(Expr* expr, const EvalEnv& env) : env_(&env) {
  if (!expr) return;
  always_ = false;
  root_ = Add(*expr);
  ChooseGuards();
}

// The bounds that a comparison or BETWEEN of a numeric field with numbers sets; false for <> and the like.
bool Condition::NumberBounds(const StoredTest& t, Guard& g) {
  const dbf::FieldType type = t.field->type;
  if (type != dbf::FieldType::kNumeric && type != dbf::FieldType::kFloat &&
      type != dbf::FieldType::kInteger && type != dbf::FieldType::kDouble &&
      type != dbf::FieldType::kCurrency)
    return false;
  if (t.field->nullable() || t.value.kind != ValueKind::kNumber || !std::isfinite(t.value.number))
    return false;
  const double n = t.value.number;
  g.field = t.field;
  SetMemo(*t.field, g);
  g.lowNumber = -std::numeric_limits<double>::infinity();
  g.highNumber = std::numeric_limits<double>::infinity();
  if (t.between) {
    if (t.negated || !std::isfinite(t.valueHigh.number)) return false;
    g.lowNumber = n;
    g.highNumber = t.valueHigh.number;
    return true;
  }
  switch (t.op) {
    case Op::kEq:
    case Op::kExactEq:
      g.lowNumber = g.highNumber = n;
      return true;
    case Op::kGt:
      g.lowOpen = true;
      [[fallthrough]];
    case Op::kGe:
      g.lowNumber = n;
      return true;
    case Op::kLt:
      g.highOpen = true;
      [[fallthrough]];
    case Op::kLe:
      g.highNumber = n;
      return true;
    default:
      return false;
  }
}

// The memo reads two words, one ending with the field and one starting with it; false for a field longer
// than they hold or one too early in the record.
bool Condition::SetMemo(const dbf::Field& f, Guard& g) {
  const uint32_t length = f.length, end = f.offset + length;
  if (end < 8 || length > 16) return false;
  g.memo = true;
  g.memoAt[0] = end - 8;
  g.memoMask[0] = ~uint64_t{0} << (8 * (8 - std::min(length, 8u)));
  // A field of up to 8 bytes is in the first word alone: the second is that word again, all masked.
  g.memoAt[1] = length > 8 ? f.offset : end - 8;
  g.memoMask[1] = length > 8 ? ~uint64_t{0} >> (8 * (16 - length)) : 0;
  return true;
}

// A field the memo's words cannot hold keeps a copy of its bytes last tested; false for one longer than that.
bool Condition::SetCopy(const dbf::Field& f, Guard& g) {
  if (f.length == 0 || f.length > kLongMemoBytes) return false;
  g.copyLength = f.length;
  g.offset = f.offset;
  return true;
}

bool Condition::Guard::Learn(size_t at, uint64_t a, uint64_t b, std::string_view record) const {
  Outcome& o = outcomes[at];
  if (o.valid) outcomes[at ^ 1] = o;  // the outcome it replaces stays beside it
  o.bytes[0] = a;
  o.bytes[1] = b;
  o.valid = true;
  o.rejects = Decide(record);
  recent = o;
  return o.rejects;
}

bool Condition::Guard::LearnCopy(std::string_view record) const {
  if (offset + copyLength > record.size()) return Decide(record);
  std::memcpy(copyBytes.data(), record.data() + offset, copyLength);
  copyValid = true;
  return copyRejects = Decide(record);
}

// Both ranges at once, on one field.
void Condition::Narrow(Guard& g, const Guard& other) {
  if (other.lowNumber > g.lowNumber || (other.lowNumber == g.lowNumber && other.lowOpen)) {
    g.lowNumber = other.lowNumber;
    g.lowOpen = other.lowOpen;
  }
  if (other.highNumber < g.highNumber || (other.highNumber == g.highNumber && other.highOpen)) {
    g.highNumber = other.highNumber;
    g.highOpen = other.highOpen;
  }
}

bool Condition::CannotFail(uint32_t index) const {
  const Node& n = nodes_[index];
  if (n.kind == Kind::kGeneral) return false;
  for (uint32_t i = 0; i < n.childCount; ++i) {
    if (!CannotFail(children_[n.firstChild + i])) return false;
  }
  return true;
}

// Guards that must pass for node `index` to be true, the most telling of each test first.
void Condition::AddGuards(uint32_t index, std::vector<Guard>& out) {
  const Node& n = nodes_[index];
  switch (n.kind) {
    case Kind::kAnd:
      for (uint32_t i = 0; i < n.childCount; ++i) AddGuards(children_[n.firstChild + i], out);
      return;
    case Kind::kOr: {
      // One of the alternatives must pass a guard of its own.
      std::vector<Guard> chosen;
      for (uint32_t i = 0; i < n.childCount; ++i) {
        std::vector<Guard> own;
        AddGuards(children_[n.firstChild + i], own);
        if (own.empty() || own.front().kind == Guard::Kind::kEither) return;
        chosen.push_back(own.front());
      }
      Guard g;
      g.kind = Guard::Kind::kEither;
      g.first = static_cast<uint32_t>(alternatives_.size());
      g.count = static_cast<uint32_t>(chosen.size());
      alternatives_.insert(alternatives_.end(), chosen.begin(), chosen.end());
      out.push_back(g);
      return;
    }
    case Kind::kStored: {
      for (const StoredWord& w : NecessaryWords(*n.test)) {
        Guard g;
        g.kind = w.whole ? Guard::Kind::kWhole : Guard::Kind::kWord;
        g.offset = w.offset;
        g.mask = w.mask;
        g.value = w.value;
        g.headOffset = w.headOffset;
        g.headMask = w.headMask;
        out.push_back(g);
      }
      Guard g;
      g.test = n.test;
      g.node = index;
      g.env = env_;
      if (n.test->kind == StoredTest::Kind::kValue && NumberBounds(*n.test, g)) {
        g.kind = Guard::Kind::kNumbers;
        out.push_back(g);
      } else if (n.field && !n.field->nullable() && n.test->nullable.empty() &&
                 (SetMemo(*n.field, g) || SetCopy(*n.field, g))) {
        // Any other test of one field's bytes, decided once for each text the field holds in a row.
        g.kind = Guard::Kind::kTest;
        g.field = n.field;
        out.push_back(g);
      }
      return;
    }
    case Kind::kDate:
    case Kind::kDateRange: {
      if (n.field->nullable()) return;
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
            if (n.date == 0) return;
            high = n.date - 1;
            break;
          default:
            return;
        }
      }
      Guard g;
      g.kind = Guard::Kind::kDates;
      g.node = index;
      g.offset = n.field->offset;
      g.low = low;
      g.high = high;
      g.emptyAccepted = low <= kBlankDateKey && kBlankDateKey <= high;
      out.push_back(g);
      return;
    }
    default:
      return;
  }
}

void Condition::ChooseGuards() {
  const Node& root = nodes_[root_];
  std::vector<uint32_t> candidates;
  if (root.kind == Kind::kAnd) {
    for (uint32_t i = 0; i < root.childCount; ++i) candidates.push_back(children_[root.firstChild + i]);
  } else {
    candidates.push_back(root_);
  }
  // Tests on stored bytes never fail, so testing a guard ahead of those before it changes nothing; a general
  // test might, and no guard may skip it.
  std::vector<Guard> found;
  for (uint32_t index : candidates) {
    if (!CannotFail(index)) break;
    AddGuards(index, found);
  }
  // Bounds on one numeric field together.
  std::vector<Guard> all;
  for (const Guard& g : found) {
    auto same = std::find_if(all.begin(), all.end(), [&](const Guard& a) {
      return g.kind == Guard::Kind::kNumbers && a.kind == Guard::Kind::kNumbers && a.field == g.field;
    });
    if (same != all.end()) {
      Narrow(*same, g);
    } else {
      all.push_back(g);
    }
  }
  // A word of bytes other than blanks usually rules out the most records (a slot key's date, a policy
  // number), then a whole number (a slot number), one of several such tests, a date window, a numeric range
  // (slower to test), a word of blanks (a free slot's empty name), and last any other test of one field. The
  // first guard of each kind, then the others in that order.
  const auto rank = [this](const Guard& g) {
    switch (g.kind) {
      case Guard::Kind::kWord:
        return g.value == (0x2020202020202020ull & g.mask) ? 5 : 0;
      case Guard::Kind::kWhole:
        return 1;
      case Guard::Kind::kEither: {
        // Alternatives that test whole fields (a number range, an empty name) pass many records at a
        // higher cost: those come last, after a date window.
        const auto first = alternatives_.begin() + g.first;
        return std::all_of(first, first + g.count,
                           [](const Guard& a) {
                             return a.kind == Guard::Kind::kWord || a.kind == Guard::Kind::kWhole;
                           })
                   ? 2
                   : 6;
      }
      case Guard::Kind::kDates:
        return 3;
      case Guard::Kind::kNumbers:
        return 4;
      default:
        return 6;
    }
  };
  std::vector<Guard> firsts, rest, tests;
  for (int r = 0; r <= 6; ++r) {
    bool seen = false;
    for (const Guard& g : all) {
      if (rank(g) != r) continue;
      // Tests of a whole field come after every word: a long field of many texts (a policy number) misses
      // its memo at nearly every record that reaches it.
      (r == 6 ? tests : seen ? rest : firsts).push_back(g);
      seen = true;
    }
  }
  firsts.insert(firsts.end(), rest.begin(), rest.end());
  firsts.insert(firsts.end(), tests.begin(), tests.end());
  for (size_t i = 0; i < firsts.size() && i < kMaxGuards; ++i) guards_[i] = firsts[i];
  // The condition is evaluated only for records that passed every guard.
  for (const Guard& g : guards_) {
    if (g.kind == Guard::Kind::kTest || g.kind == Guard::Kind::kDates) nodes_[g.node].settled = true;
    // A range decides the test it came from (narrowed by others, it asks more) exactly, as the comparison
    // does, for every number but NaN (which only a B field holds).
    if (g.kind == Guard::Kind::kNumbers && g.field->type != dbf::FieldType::kDouble)
      nodes_[g.node].settled = true;
  }
  const Node& top = nodes_[root_];
  const auto kids = children_.begin() + top.firstChild;
  guarded_ = top.settled ||
             (top.kind == Kind::kAnd &&
              std::all_of(kids, kids + top.childCount, [&](uint32_t k) { return nodes_[k].settled; }));
}

namespace {

Op Negated(Op op) {
  switch (op) {
    case Op::kLt:
      return Op::kGe;
    case Op::kLe:
      return Op::kGt;
    case Op::kGt:
      return Op::kLe;
    case Op::kGe:
      return Op::kLt;
    case Op::kNe:
      return Op::kEq;
    default:
      return Op::kNe;  // = and ==
  }
}

}  // namespace

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
    // NOT of a date comparison that is never NULL is the opposite comparison.
    Node& k = nodes_[kid];
    if (k.kind == Kind::kDate && !k.field->nullable()) {
      k.op = Negated(k.op);
      return kid;
    }
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
      // Tests whose result depends on the bytes of one field alone.
      if (t.kind == StoredTest::Kind::kValue) {
        n.field = t.field;
      } else if (t.parts.size() == 1 && t.parts[0].kind == StoredPart::Kind::kBytes) {
        n.field = t.parts[0].field;
      }
      const uint32_t length = n.field ? n.field->length : 0;
      if (length > 0 && length <= 16) {
        n.memoMask[0] = length >= 8 ? ~0ull : ~0ull >> (8 * (8 - length));
        n.memoMask[1] = length <= 8 ? 0 : ~0ull >> (8 * (16 - length));
      } else if (length > 16 && length <= kLongMemoBytes) {
        n.memoLength = length;
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

// A test on one field of 17 to 64 bytes, decided once for each text the field holds in a row.
Tri Condition::LongLeaf(const Node& n, const RowContext& row) const {
  const dbf::Field& f = *n.field;
  if (f.nullBit >= 0 && dbf::IsNull(f, row.record)) return Tri::kUnknown;
  if (f.offset + n.memoLength > row.record.size()) return TestStored(*n.test, row.record, *env_);
  const char* bytes = row.record.data() + f.offset;
  if (n.memoValid && SameField(bytes, n.memoText.data(), n.memoLength)) return n.memoResult;
  const Tri t = TestStored(*n.test, row.record, *env_);
  std::memcpy(n.memoText.data(), bytes, n.memoLength);
  n.memoResult = t;
  n.memoValid = true;
  return t;
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
        const Tri t = k.settled ? Tri::kTrue : k.kind > Kind::kGeneral ? Leaf(k, row) : Eval(kid, row);
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
      return n.settled ? Tri::kTrue : Leaf(n, row);
  }
}

inline __attribute__((always_inline)) Tri Condition::Leaf(const Node& n, const RowContext& row) const {
  if (n.kind == Kind::kStored) {
    if (n.memoMask[0] == 0)
      return n.memoLength == 0 ? TestStored(*n.test, row.record, *env_) : LongLeaf(n, row);
    // The result depends on the field's bytes alone once NULL is ruled out.
    const dbf::Field& f = *n.field;
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
