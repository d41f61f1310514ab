#include "sql/index_plan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "dbf/dbf_errors.h"
#include "dbf/index_key.h"
#include "dbf/index_seek.h"
#include "sql/collation.h"
#include "sql/functions.h"
#include "sql/parser.h"

namespace vorel::sql {
namespace {

// One AND term: `expr op value`, with the expression on the left.
struct Term {
  const Expr* expr = nullptr;
  Op op = Op::kNone;
  const Value* value = nullptr;
};

// Key bytes from `low` to `high`, both full length and included.
struct KeyRange {
  std::string low, high;
};

enum class KeyKind { kNone, kText, kNumber, kInteger, kCurrency, kDate, kDateTime, kLogical };

constexpr int kVaryingWidth = -1;

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

bool Seekable(Op op) {
  return op == Op::kEq || op == Op::kExactEq || op == Op::kLt || op == Op::kLe || op == Op::kGt ||
         op == Op::kGe;
}

bool KnownConstant(const Expr& e) {
  return e.constant && !e.constantValue.isNull();
}

void CollectTerms(Expr* where, std::vector<Term>& terms) {
  std::vector<Expr*> conjuncts;
  if (where->kind == ExprKind::kBinary && where->op == Op::kAnd) {
    for (ExprPtr& a : where->args) conjuncts.push_back(a.get());
  } else {
    conjuncts.push_back(where);
  }
  for (Expr* c : conjuncts) {
    if (c->negated || c->constant) continue;
    if (c->kind == ExprKind::kBinary && Seekable(c->op)) {
      if (KnownConstant(*c->args[1]) && !c->args[0]->constant)
        terms.push_back({c->args[0].get(), c->op, &c->args[1]->constantValue});
      else if (KnownConstant(*c->args[0]) && !c->args[1]->constant)
        terms.push_back({c->args[1].get(), Flipped(c->op), &c->args[0]->constantValue});
    } else if (c->kind == ExprKind::kBetween && c->args.size() == 3 && !c->args[0]->constant) {
      if (KnownConstant(*c->args[1]))
        terms.push_back({c->args[0].get(), Op::kGe, &c->args[1]->constantValue});
      if (KnownConstant(*c->args[2]))
        terms.push_back({c->args[0].get(), Op::kLe, &c->args[2]->constantValue});
    }
  }
}

bool IsIntegerLiteral(const Expr& e, int low, int high) {
  if (e.kind != ExprKind::kLiteral || e.literal.kind != ValueKind::kNumber) return false;
  const double n = e.literal.number;
  return n == std::floor(n) && n >= low && n <= high;
}

bool IsDateColumn(const Expr& e) {
  return e.kind == ExprKind::kColumn &&
         (e.field->type == dbf::FieldType::kDate || e.field->type == dbf::FieldType::kDateTime);
}

bool IsNumberColumn(const Expr& e) {
  if (e.kind != ExprKind::kColumn) return false;
  switch (e.field->type) {
    case dbf::FieldType::kNumeric:
    case dbf::FieldType::kFloat:
    case dbf::FieldType::kDouble:
    case dbf::FieldType::kInteger:
    case dbf::FieldType::kCurrency:
      return true;
    default:
      return false;
  }
}

// A text expression whose value the index layer computes as this evaluator does (fields stored as
// Windows-1251 text, the functions both know, + of texts). `width` receives the length every value has, or
// kVaryingWidth.
bool IndexableText(const Expr& e, int& width) {
  width = kVaryingWidth;
  switch (e.kind) {
    case ExprKind::kLiteral:
      if (e.literal.kind != ValueKind::kText) return false;
      width = static_cast<int>(e.literalText.size());
      return true;
    case ExprKind::kColumn:
      if (e.field->oemText || e.field->binary()) return false;
      if (e.field->type == dbf::FieldType::kCharacter) {
        width = e.field->length;
        return true;
      }
      return e.field->type == dbf::FieldType::kVarchar;
    case ExprKind::kBinary: {
      int a = 0, b = 0;
      if (e.op != Op::kAdd || !IndexableText(*e.args[0], a) || !IndexableText(*e.args[1], b)) return false;
      if (a != kVaryingWidth && b != kVaryingWidth) width = a + b;
      return true;
    }
    case ExprKind::kFunction:
      break;
    default:
      return false;
  }
  int inner = 0;
  switch (static_cast<FunctionId>(e.function)) {
    case FunctionId::kUpper:
    case FunctionId::kLower:
      if (!IndexableText(*e.args[0], inner)) return false;
      width = inner;
      return true;
    case FunctionId::kTrim:
    case FunctionId::kRtrim:
    case FunctionId::kLtrim:
    case FunctionId::kAlltrim:
      return IndexableText(*e.args[0], inner);
    case FunctionId::kDtos:
      if (e.args.size() != 1 || !IsDateColumn(*e.args[0])) return false;
      width = 8;
      return true;
    case FunctionId::kDtoc:
      if (e.args.size() != 2 || !IsDateColumn(*e.args[0]) || !IsIntegerLiteral(*e.args[1], 1, 1))
        return false;
      width = 8;
      return true;
    case FunctionId::kStr: {
      if (!IsNumberColumn(*e.args[0])) return false;
      if (e.args.size() > 1 && !IsIntegerLiteral(*e.args[1], 1, 255)) return false;
      if (e.args.size() > 2 && !IsIntegerLiteral(*e.args[2], 0, 18)) return false;
      width = e.args.size() > 1 ? static_cast<int>(e.args[1]->literal.number) : 10;
      return true;
    }
    case FunctionId::kSubstr: {
      if (!IndexableText(*e.args[0], inner) || !IsIntegerLiteral(*e.args[1], 1, 65535)) return false;
      if (e.args.size() > 2 && !IsIntegerLiteral(*e.args[2], 0, 65535)) return false;
      if (e.args.size() > 2 && inner != kVaryingWidth) {
        const int start = static_cast<int>(e.args[1]->literal.number);
        const int length = static_cast<int>(e.args[2]->literal.number);
        if (start + length - 1 <= inner) width = length;
      }
      return true;
    }
    case FunctionId::kLeft: {
      if (!IndexableText(*e.args[0], inner) || !IsIntegerLiteral(*e.args[1], 0, 65535)) return false;
      const int length = static_cast<int>(e.args[1]->literal.number);
      if (inner != kVaryingWidth && length <= inner) width = length;
      return true;
    }
    default:
      return false;
  }
}

KeyKind KindOfKey(const Expr& e, int& width) {
  width = kVaryingWidth;
  if (e.staticKind == ValueKind::kText) return IndexableText(e, width) ? KeyKind::kText : KeyKind::kNone;
  if (e.kind != ExprKind::kColumn) return KeyKind::kNone;
  switch (e.field->type) {
    case dbf::FieldType::kNumeric:
    case dbf::FieldType::kFloat:
    case dbf::FieldType::kDouble:
      return KeyKind::kNumber;
    case dbf::FieldType::kInteger:
      return KeyKind::kInteger;
    case dbf::FieldType::kCurrency:
      return KeyKind::kCurrency;
    case dbf::FieldType::kDate:
      return KeyKind::kDate;
    case dbf::FieldType::kDateTime:
      return KeyKind::kDateTime;
    case dbf::FieldType::kLogical:
      return KeyKind::kLogical;
    default:
      return KeyKind::kNone;
  }
}

bool SameExpression(const Expr& a, const Expr& b) {
  if (a.kind != b.kind || a.op != b.op || a.negated != b.negated || a.args.size() != b.args.size())
    return false;
  switch (a.kind) {
    case ExprKind::kLiteral:
      if (a.literal.kind != b.literal.kind) return false;
      if (a.literal.kind == ValueKind::kText && a.literalText != b.literalText) return false;
      if (a.literal.number != b.literal.number || a.literal.moment != b.literal.moment ||
          a.literal.logical != b.literal.logical)
        return false;
      break;
    case ExprKind::kColumn:
      if (a.field != b.field) return false;
      break;
    case ExprKind::kFunction:
      if (a.function != b.function) return false;
      break;
    case ExprKind::kUnary:
    case ExprKind::kBinary:
      break;
    default:
      return false;
  }
  for (size_t i = 0; i < a.args.size(); ++i) {
    if (!SameExpression(*a.args[i], *b.args[i])) return false;
  }
  return true;
}

// A tag's key expression in the dialect, bound to the table's fields; nullptr when it is none.
ExprPtr BindKeyExpression(const std::string& text, const dbf::TableLayout& layout, const EvalEnv& env) {
  try {
    Statement statement = ParseStatement("SELECT " + text + " FROM t");
    auto* select = std::get_if<SelectStatement>(&statement);
    if (!select || select->items.size() != 1 || !select->items[0].expr || select->where || select->having ||
        !select->groupBy.empty() || !select->orderBy.empty() || select->distinct)
      return nullptr;
    ExprPtr e = std::move(select->items[0].expr);
    Bind(*e, BindOptions{&layout, false, nullptr}, env);
    return e;
  } catch (const std::exception&) {
    return nullptr;
  }
}

// How the statement's collation weighs each byte, against the weights a RUSSIAN tag stores.
struct Weights {
  explicit Weights(Collation collation) : collated(collation != Collation::kMachine) {
    if (!collated) {
      alone.fill(true);
      return;  // bytes compare as bytes: nothing else is asked
    }
    std::array<int, 256> w{}, key{};
    for (int c = 0; c < 256; ++c) {
      w[c] = CollationWeight(collation, static_cast<unsigned char>(c));
      key[c] = dbf::RussianKeyWeight(static_cast<unsigned char>(c));
    }
    for (int c = 0; c < 256; ++c) {
      bool isAlone = true, sameOrder = true;
      for (int d = 0; d < 256; ++d) {
        if (d != c && w[d] == w[c]) isAlone = false;
        if ((w[d] > w[c]) - (w[d] < w[c]) != (key[d] > key[c]) - (key[d] < key[c])) sameOrder = false;
      }
      alone[c] = isAlone;
      ordered[c] = sameOrder;
    }
    for (int c = 0; c < 256; ++c) settled[c] = ordered[c] && w[c] > w[' '];
    blankAlone = alone[' '];
  }
  bool collated;
  bool blankAlone = true;
  std::array<bool, 256> alone{};    // no other byte weighs the same
  std::array<bool, 256> ordered{};  // every other byte sorts against it as the stored key weights sort
  std::array<bool, 256> settled{};  // ordered and above the blank: a range bound may rest on it
};

size_t FirstWhere(std::string_view s, const std::array<bool, 256>& good) {
  size_t i = 0;
  while (i < s.size() && good[static_cast<unsigned char>(s[i])]) ++i;
  return i;
}

std::string_view RightTrimmed(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

class RangeBuilder {
 public:
  RangeBuilder(const dbf::CdxTag& tag) : tag_(tag) {}

  KeyRange Exact(std::string key) const { return {key, key}; }
  KeyRange From(std::string key) const { return {std::move(key), std::string(tag_.keyLength, '\xFF')}; }
  KeyRange Upto(std::string key) const { return {std::string(tag_.keyLength, '\0'), std::move(key)}; }
  // Every key that starts with the key bytes of `text` (no padding); nothing when `text` is empty.
  std::optional<KeyRange> Prefix(std::string_view text) const {
    if (text.empty()) return std::nullopt;
    std::string p = TextPrefix(text);
    std::string low = p, high = p;
    low.resize(tag_.keyLength, '\0');
    high.resize(tag_.keyLength, '\xFF');
    return KeyRange{std::move(low), std::move(high)};
  }
  std::string TextPrefix(std::string_view text) const {
    std::string p = tag_.nullable() ? std::string(1, '\x80') : std::string();
    text = text.substr(0, tag_.keyLength - p.size());
    if (tag_.collation.empty()) {
      p.append(text);
    } else {
      for (char c : text)
        p.push_back(static_cast<char>(dbf::RussianKeyWeight(static_cast<unsigned char>(c))));
    }
    return p;
  }
  std::string Key(const dbf::KeyValue& v) const { return dbf::EncodeKey(tag_, v); }

 private:
  const dbf::CdxTag& tag_;
};

std::optional<KeyRange> TextRange(const dbf::CdxTag& tag, Op op, std::string_view v, int width,
                                  const EvalEnv& env, const Weights& w) {
  const RangeBuilder b(tag);
  const bool machineTag = tag.collation.empty();
  const std::string_view trimmed = RightTrimmed(v);
  if (w.collated && !w.blankAlone) return std::nullopt;
  auto text = [](std::string_view s) {
    dbf::KeyValue k;
    k.text.assign(s);
    return k;
  };
  if (op == Op::kEq && !env.ansi) {
    // Compared up to the shorter text: only a key expression of one fixed width makes that a prefix.
    if (width == kVaryingWidth) return std::nullopt;
    const std::string_view s = v.substr(0, std::min(v.size(), static_cast<size_t>(width)));
    if (machineTag) return b.Prefix(w.collated ? s.substr(0, FirstWhere(s, w.alone)) : s);
    const std::string_view st = RightTrimmed(s);
    if (w.collated && FirstWhere(st, w.ordered) != st.size()) return std::nullopt;
    return b.Prefix(st);
  }
  if (op == Op::kEq || op == Op::kExactEq) {
    const bool bytes = op == Op::kExactEq || !w.collated;  // equal means the same bytes, blank padded
    if (machineTag) {
      const size_t same = bytes ? trimmed.size() : FirstWhere(trimmed, w.alone);
      if (same == trimmed.size() && !tag.nullable()) return b.Exact(b.Key(text(trimmed)));
      return b.Prefix(trimmed.substr(0, same));
    }
    if (!bytes && FirstWhere(trimmed, w.ordered) != trimmed.size()) return std::nullopt;
    if (trimmed.empty()) return std::nullopt;
    return b.Prefix(trimmed);
  }
  // Ranges follow the order of the stored keys only where both orders agree.
  if (machineTag) {
    if (w.collated || tag.nullable()) return std::nullopt;
    return op == Op::kGe || op == Op::kGt ? b.From(b.Key(text(v))) : b.Upto(b.Key(text(v)));
  }
  if (!w.collated) return std::nullopt;
  const std::string_view settled = v.substr(0, FirstWhere(v, w.settled));
  std::string low = b.TextPrefix(settled), high = low;
  low.resize(tag.keyLength, '\0');
  high.resize(tag.keyLength, '\xFF');
  if (op == Op::kGe || op == Op::kGt) return b.From(std::move(low));
  return b.Upto(std::move(high));
}

std::string OneUnitLower(std::string key) {
  for (size_t i = key.size(); i-- > key.size() - std::min<size_t>(8, key.size());) {
    if (key[i]-- != '\0') break;
  }
  return key;
}

std::string OneUnitHigher(std::string key) {
  for (size_t i = key.size(); i-- > key.size() - std::min<size_t>(8, key.size());) {
    if (++key[i] != '\0') break;
  }
  return key;
}

std::optional<KeyRange> ValueRange(const dbf::CdxTag& tag, KeyKind kind, Op op, const Value& v) {
  const RangeBuilder b(tag);
  const bool up = op == Op::kGe || op == Op::kGt, down = op == Op::kLe || op == Op::kLt;
  dbf::KeyValue k;
  switch (kind) {
    case KeyKind::kNumber:
      if (v.kind != ValueKind::kNumber || std::isnan(v.number)) return std::nullopt;
      k.type = dbf::KeyValue::Type::kNumber;
      k.number = v.number;
      break;
    case KeyKind::kInteger:
    case KeyKind::kCurrency: {
      if (v.kind != ValueKind::kNumber || std::isnan(v.number)) return std::nullopt;
      // Whole units below and above the value (a currency key counts ten-thousandths).
      const bool integer = kind == KeyKind::kInteger;
      const double scaled = integer ? v.number : v.number * 10000.0;
      const double lowest = integer ? std::numeric_limits<int32_t>::min() : -9.2e18;
      const double highest = integer ? std::numeric_limits<int32_t>::max() : 9.2e18;
      const double below = std::clamp(std::floor(scaled) - (integer ? 0 : 1), lowest, highest);
      const double above = std::clamp(std::ceil(scaled) + (integer ? 0 : 1), lowest, highest);
      dbf::KeyValue lo, hi;
      lo.type = hi.type = integer ? dbf::KeyValue::Type::kInteger : dbf::KeyValue::Type::kCurrency;
      lo.integer = static_cast<int64_t>(below);
      hi.integer = static_cast<int64_t>(above);
      if (up) return b.From(b.Key(lo));
      if (down) return b.Upto(b.Key(hi));
      return KeyRange{b.Key(lo), b.Key(hi)};
    }
    case KeyKind::kDate:
      if (v.kind != ValueKind::kDate) return std::nullopt;
      k.type = dbf::KeyValue::Type::kDate;
      if (v.moment != 0) k.date = v.moment;
      break;
    case KeyKind::kDateTime: {
      if (v.kind != ValueKind::kDateTime) return std::nullopt;
      k.type = dbf::KeyValue::Type::kDateTime;
      if (v.moment != 0)
        k.dateTime = dbf::DateTimeValue{v.moment / kMillisecondsPerDay,
                                        static_cast<int32_t>(v.moment % kMillisecondsPerDay)};
      // VFP stores some datetime keys one unit in the last place below the plain value.
      const std::string key = b.Key(k), lower = OneUnitLower(key);
      if (up) return b.From(lower);
      if (down) return b.Upto(key);
      return KeyRange{lower, key};
    }
    case KeyKind::kLogical:
      if (v.kind != ValueKind::kLogical || up || down) return std::nullopt;
      k.type = dbf::KeyValue::Type::kLogical;
      k.logical = v.logical;
      break;
    default:
      return std::nullopt;
  }
  const std::string key = b.Key(k);
  if (kind == KeyKind::kNumber) {
    // Another program may have turned the stored text into a double one unit in the last place apart.
    const std::string lower = OneUnitLower(key), higher = OneUnitHigher(key);
    if (up) return b.From(lower);
    if (down) return b.Upto(higher);
    return KeyRange{lower, higher};
  }
  if (up) return b.From(key);
  if (down) return b.Upto(key);
  return b.Exact(key);
}

size_t BaseKeyLength(KeyKind kind) {
  switch (kind) {
    case KeyKind::kInteger:
      return 4;
    case KeyKind::kLogical:
      return 1;
    case KeyKind::kText:
      return 0;  // any
    default:
      return 8;
  }
}

// The tightest range the terms give on one tag; nullopt when none of them fits the tag.
struct TagPlan {
  std::string tag;
  KeyRange range;
  bool equality = false;
};

std::optional<TagPlan> PlanTag(const dbf::CdxTag& tag, const Expr& keyExpr, const std::vector<Term>& terms,
                               const EvalEnv& env, const Weights& weights) {
  if (tag.unique() || !tag.forExpression.empty() || (tag.options & dbf::kTagHasFor) != 0) return std::nullopt;
  if (!tag.collation.empty() && tag.collation != "RUSSIAN") return std::nullopt;
  int width = kVaryingWidth;
  const KeyKind kind = KindOfKey(keyExpr, width);
  if (kind == KeyKind::kNone) return std::nullopt;
  if (kind != KeyKind::kText && !tag.collation.empty()) return std::nullopt;
  const size_t base = tag.keyLength - (tag.nullable() ? 1u : 0u);
  if (tag.keyLength == 0 || (BaseKeyLength(kind) != 0 && base != BaseKeyLength(kind))) return std::nullopt;
  std::optional<TagPlan> plan;
  for (const Term& t : terms) {
    if (!SameExpression(*t.expr, keyExpr)) continue;
    std::optional<KeyRange> r;
    try {
      r = kind == KeyKind::kText
              ? (t.value->kind == ValueKind::kText ? TextRange(tag, t.op, t.value->text, width, env, weights)
                                                   : std::nullopt)
              : ValueRange(tag, kind, t.op, *t.value);
    } catch (const std::exception&) {
      r.reset();
    }
    if (!r) continue;
    if (!plan) {
      plan = TagPlan{tag.name, std::move(*r), false};
    } else {
      plan->range.low = std::max(plan->range.low, r->low);
      plan->range.high = std::min(plan->range.high, r->high);
    }
    if (t.op == Op::kEq || t.op == Op::kExactEq) plan->equality = true;
  }
  return plan;
}

}  // namespace

std::optional<std::vector<uint32_t>> FindIndexCandidates(dbf::Table& table, Expr* where, const EvalEnv& env,
                                                         uint32_t recordCount,
                                                         const IndexSeekOptions& options) {
  if (!where || options.use == IndexUse::kNever || !table.layout().hasStructuralIndex()) return std::nullopt;
  std::vector<Term> terms;
  CollectTerms(where, terms);
  if (terms.empty()) return std::nullopt;
  try {
    const dbf::BasicKeyExpressionCompiler compiler;
    dbf::IndexReader index(table, compiler);
    const Weights weights(env.collation);
    std::vector<TagPlan> plans;
    for (const dbf::IndexTagInfo& info : index.tags()) {
      const ExprPtr keyExpr = BindKeyExpression(info.keyExpression, table.layout(), env);
      if (!keyExpr) continue;
      if (auto plan = PlanTag(index.RawTag(info.name), *keyExpr, terms, env, weights))
        plans.push_back(std::move(*plan));
    }
    // Equalities first: they usually hold the fewest records.
    std::stable_sort(plans.begin(), plans.end(),
                     [](const TagPlan& a, const TagPlan& b) { return a.equality && !b.equality; });
    for (const TagPlan& plan : plans)
      if (plan.range.low > plan.range.high) return std::vector<uint32_t>{};  // the terms contradict
    // Reads the plan's entries up to `limit`; nullopt when there are more (or the index lock was not had).
    bool locked = true;
    auto read = [&](const TagPlan& plan, size_t limit) -> std::optional<std::vector<uint32_t>> {
      std::vector<uint32_t> recnos;
      bool tooMany = false;
      locked = index.SeekRange(
          plan.tag, plan.range.low, plan.range.high,
          [&](uint32_t recno) {
            if (recno >= 1 && recno <= recordCount) recnos.push_back(recno);
            tooMany = recnos.size() > limit;
            return !tooMany;
          },
          options.timing);
      if (!locked || tooMany) return std::nullopt;
      std::sort(recnos.begin(), recnos.end());
      recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
      return recnos;
    };
    // A short look at every plan first: the one with the fewest entries wins (a booking's slot key beside
    // kl=0, which every free slot has).
    constexpr size_t kProbe = 256;
    std::optional<std::vector<uint32_t>> best;
    for (const TagPlan& plan : plans) {
      auto found = read(plan, kProbe);
      if (!locked) return std::nullopt;
      if (found && (!best || found->size() < best->size())) best = std::move(found);
    }
    if (best) return best;
    const size_t limit = options.use == IndexUse::kAlways ? std::numeric_limits<size_t>::max()
                                                          : 64 + static_cast<size_t>(recordCount) / 10;
    for (const TagPlan& plan : plans) {
      auto found = read(plan, limit);
      if (!locked) return std::nullopt;
      if (found) return found;
    }
  } catch (const std::exception&) {
    // No index file, a damaged one, a tag this program cannot read: the scan gives the rows.
  }
  return std::nullopt;
}

}  // namespace vorel::sql
