#include "sql/stored_form.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/code_page.h"
#include "sql/date_text.h"
#include "sql/expression_internal.h"
#include "sql/functions.h"
#include "sql/number_text.h"

namespace vorel::sql {
namespace {

using namespace detail;

// The longest joined text tested in place (a record holds at most 65,500 bytes; real conditions far less).
constexpr size_t kMaxStoredText = 512;

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

bool KnownConstant(const Expr& e) {
  return e.constant && !e.constantValue.isNull();
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

bool AllWeighAlone(Collation collation, std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [&](char c) { return WeighsAlone(collation, static_cast<unsigned char>(c)); });
}

bool AllWeighAsBlank(Collation collation, std::string_view s) {
  const uint16_t blank = CollationWeight(collation, ' ');
  return std::all_of(s.begin(), s.end(), [&](char c) {
    return CollationWeight(collation, static_cast<unsigned char>(c)) == blank;
  });
}

// An N(w,0) field's text as STR(n,w) writes its value: blanks, an optional minus, digits without a leading
// zero (a lone 0 unsigned), at most 15 of them (a double holds them exactly).
bool RightAlignedWhole(const char* p, size_t width) {
  size_t i = 0;
  while (i < width && p[i] == ' ') ++i;
  const bool negative = i < width && p[i] == '-';
  i += negative;
  if (i == width || width - i > 15) return false;
  if (p[i] == '0' && (i + 1 < width || negative)) return false;
  for (; i < width; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
  }
  return true;
}

bool ValidDateText(std::string_view s) {
  uint64_t v;
  std::memcpy(&v, s.data(), sizeof v);
  return dbf::decode_detail::JulianDayOfDigits(v) != 0;
}

bool WholeConstant(const Expr& e, double& n) {
  if (!KnownConstant(e) || e.constantValue.kind != ValueKind::kNumber ||
      !std::isfinite(e.constantValue.number))
    return false;
  n = std::trunc(e.constantValue.number);
  return true;
}

// Adds the fixed-width pieces of a text expression; false when it has any other kind of piece.
bool AddParts(const Expr& e, StoredTest& t) {
  StoredPart p;
  if (e.constant) {
    if (e.constantValue.kind != ValueKind::kText) return false;
    p.kind = StoredPart::Kind::kConstant;
    p.bytes.assign(e.constantValue.text);
    p.width = static_cast<uint16_t>(std::min(p.bytes.size(), kMaxStoredText + 1));
  } else if (e.kind == ExprKind::kColumn) {
    if (e.field->type != dbf::FieldType::kCharacter || (e.field->oemText && !e.field->binary())) return false;
    p.kind = StoredPart::Kind::kBytes;
    p.field = e.field;
    p.width = e.field->length;
  } else if (e.kind == ExprKind::kBinary && e.op == Op::kAdd && e.staticKind == ValueKind::kText) {
    return AddParts(*e.args[0], t) && AddParts(*e.args[1], t);
  } else if (e.kind == ExprKind::kFunction && !e.args.empty() && e.args[0]->kind == ExprKind::kColumn) {
    const dbf::Field* f = e.args[0]->field;
    double n = 0;
    switch (static_cast<FunctionId>(e.function)) {
      case FunctionId::kDtos:
      case FunctionId::kDtoc:
        // DTOC(d,1) and DTOS(d) are yyyymmdd; DTOC(d) is the regional form.
        if (f->type != dbf::FieldType::kDate) return false;
        if (static_cast<FunctionId>(e.function) == FunctionId::kDtoc &&
            (e.args.size() != 2 || !KnownConstant(*e.args[1]) ||
             e.args[1]->constantValue.kind != ValueKind::kNumber || e.args[1]->constantValue.number != 1))
          return false;
        p.kind = StoredPart::Kind::kDate;
        p.width = 8;
        break;
      case FunctionId::kStr:
        // STR(n,w[,d]) of an N(m,0) field, no decimals asked for.
        if ((f->type != dbf::FieldType::kNumeric && f->type != dbf::FieldType::kFloat) || f->decimals != 0)
          return false;
        if (e.args.size() > 2 && (!WholeConstant(*e.args[2], n) || n > 0 || n < -1e9)) return false;
        n = 10;
        if (e.args.size() > 1 && (!WholeConstant(*e.args[1], n) || n < 1 || n > 255)) return false;
        p.kind = StoredPart::Kind::kWhole;
        p.width = static_cast<uint16_t>(n);
        break;
      default:
        return false;
    }
    p.field = f;
  } else {
    return false;
  }
  if (t.width + p.width > kMaxStoredText) return false;
  p.at = t.width;
  t.width = static_cast<uint16_t>(t.width + p.width);
  if (p.field && p.field->nullable()) t.nullable.push_back(p.field);
  t.parts.push_back(std::move(p));
  return true;
}

// A text of stored pieces with trimming and case functions around them.
bool BuildText(const Expr& e, StoredTest& t) {
  if (e.kind != ExprKind::kFunction || e.constant || e.args.size() != 1) return AddParts(e, t);
  TextStep step;
  switch (static_cast<FunctionId>(e.function)) {
    case FunctionId::kTrim:
    case FunctionId::kRtrim:
      step = TextStep::kTrimRight;
      break;
    case FunctionId::kLtrim:
      step = TextStep::kTrimLeft;
      break;
    case FunctionId::kAlltrim:
      step = TextStep::kTrimBoth;
      break;
    case FunctionId::kUpper:
      step = TextStep::kUpper;
      break;
    case FunctionId::kLower:
      step = TextStep::kLower;
      break;
    default:
      return AddParts(e, t);
  }
  if (!BuildText(*e.args[0], t)) return false;
  t.steps.push_back(step);
  return true;
}

bool IsTrim(TextStep s) {
  return s == TextStep::kTrimRight || s == TextStep::kTrimLeft || s == TextStep::kTrimBoth;
}

// =, == and <> decided stretch by stretch on the bytes, where the comparison's rules allow.
void ChooseEqualityLane(StoredTest& t, const EvalEnv& env) {
  if (t.between || (t.op != Op::kEq && t.op != Op::kNe && t.op != Op::kExactEq)) return;
  // Comparisons that pad the shorter text with blanks do not see trailing blanks; against blanks alone they
  // see no blanks at all.
  const bool padded = t.op == Op::kExactEq || env.ansi;
  std::vector<TextStep> steps = t.steps;
  while (padded && !steps.empty() && steps.back() == TextStep::kTrimRight) steps.pop_back();
  if (padded && t.text.find_first_not_of(' ') == std::string::npos &&
      std::all_of(steps.begin(), steps.end(), IsTrim))
    steps.clear();
  if (!steps.empty()) return;
  const Collation collation = t.op == Op::kExactEq ? Collation::kMachine : env.collation;
  std::string target = t.text;
  if (!padded) {
    target.resize(std::min<size_t>(target.size(), t.width));  // compared up to the shorter text
  } else if (target.size() > t.width) {
    if (!AllWeighAsBlank(collation, std::string_view(target).substr(t.width))) return;
    target.resize(t.width);
  } else {
    target.append(t.width - target.size(), ' ');
  }
  t.slices.clear();
  for (size_t i = 0; i < t.parts.size() && t.parts[i].at < target.size(); ++i) {
    const StoredPart& p = t.parts[i];
    EqualitySlice s;
    s.part = static_cast<uint16_t>(i);
    s.from = p.at;
    s.length = static_cast<uint16_t>(std::min<size_t>(p.at + p.width, target.size()) - p.at);
    const std::string_view wanted = std::string_view(target).substr(s.from, s.length);
    s.bytewise = AllWeighAlone(collation, wanted);
    const bool whole = s.length == p.width;
    switch (p.kind) {
      case StoredPart::Kind::kDate:
        // The value is the stored digits or blanks.
        s.sureWhenEqual =
            s.bytewise && whole && (ValidDateText(wanted) || AllWeighAsBlank(Collation::kMachine, wanted));
        s.sureWhenUnequal = !AllWeighAsBlank(collation, wanted);
        break;
      case StoredPart::Kind::kWhole:
        // Stored in the width asked for, right-aligned digits are the value's text.
        s.sureWhenEqual = s.bytewise && whole && p.width == p.field->length &&
                          RightAlignedWhole(wanted.data(), wanted.size());
        s.sureWhenUnequal = false;
        s.digitsAndBlanks = wanted.find_first_not_of(" 0123456789") == std::string_view::npos &&
                            AllWeighAlone(collation, "0123456789");
        break;
      default:
        break;
    }
    t.slices.push_back(s);
  }
  t.steps = std::move(steps);
  t.target = std::move(target);
  t.equalityLane = true;
}

void ChooseLikeLane(StoredTest& t, const EvalEnv& env) {
  if (t.parts.size() != 1 || t.parts[0].kind != StoredPart::Kind::kBytes || !t.steps.empty()) return;
  const std::string_view p = t.text;
  const bool contains = p.size() >= 3 && p.front() == '%' && p.back() == '%';
  const bool prefix = !contains && p.size() >= 2 && p.back() == '%';
  if (!contains && !prefix) return;
  const std::string_view inner = p.substr(contains ? 1 : 0, p.size() - (contains ? 2 : 1));
  if (inner.find_first_of("%_") != std::string_view::npos || !AllWeighAlone(env.collation, inner)) return;
  if (prefix && inner.size() > t.width) return;
  t.target.assign(inner);
  t.likeLane = contains ? StoredTest::LikeLane::kContains : StoredTest::LikeLane::kPrefix;
}

// Completes a test whose constants are set from the stored side `side`; false when the side has no stored
// form.
bool ChooseSide(StoredTest& t, const Expr& side, const EvalEnv& env) {
  const ValueKind k = t.value.kind;
  if (t.kind == StoredTest::Kind::kLike) {
    if (!BuildText(side, t)) return false;
    ChooseLikeLane(t, env);
    return true;
  }
  if (t.between && t.valueHigh.kind != k) return false;
  if (side.kind == ExprKind::kColumn) {
    const dbf::Field* f = side.field;
    switch (f->type) {
      case dbf::FieldType::kDate:
        if (k != ValueKind::kDate) return false;
        t.kind = StoredTest::Kind::kDate;
        t.dateKey = StoredDateKey(CompactDateText(t.value.moment).data());
        if (t.between) t.dateKeyHigh = StoredDateKey(CompactDateText(t.valueHigh.moment).data());
        t.field = f;
        return true;
      case dbf::FieldType::kNumeric:
      case dbf::FieldType::kFloat:
      case dbf::FieldType::kInteger:
      case dbf::FieldType::kDouble:
      case dbf::FieldType::kCurrency:
      case dbf::FieldType::kDateTime:
      case dbf::FieldType::kLogical: {
        const ValueKind want = f->type == dbf::FieldType::kDateTime  ? ValueKind::kDateTime
                               : f->type == dbf::FieldType::kLogical ? ValueKind::kLogical
                                                                     : ValueKind::kNumber;
        if (k != want) return false;
        t.kind = StoredTest::Kind::kValue;
        t.field = f;
        return true;
      }
      default:
        break;
    }
  }
  if (k != ValueKind::kText || !BuildText(side, t)) return false;
  t.kind = StoredTest::Kind::kText;
  t.text.assign(t.value.text);
  if (t.between) t.textHigh.assign(t.valueHigh.text);
  ChooseEqualityLane(t, env);
  return true;
}

bool IsNumeric(const dbf::Field& f) {
  return f.type == dbf::FieldType::kNumeric || f.type == dbf::FieldType::kFloat ||
         f.type == dbf::FieldType::kInteger || f.type == dbf::FieldType::kDouble ||
         f.type == dbf::FieldType::kCurrency;
}

// Two number fields or two date fields compared.
bool ChooseFields(StoredTest& t, const Expr& left, const Expr& right) {
  if (left.kind != ExprKind::kColumn || right.kind != ExprKind::kColumn) return false;
  const dbf::Field& a = *left.field;
  const dbf::Field& b = *right.field;
  const bool dates = a.type == dbf::FieldType::kDate && b.type == dbf::FieldType::kDate;
  if (!dates && !(IsNumeric(a) && IsNumeric(b))) return false;
  t.kind = StoredTest::Kind::kFields;
  t.field = &a;
  t.other = &b;
  return true;
}

// --- testing a record ---

Tri Truth(bool b) {
  return b ? Tri::kTrue : Tri::kFalse;
}

bool AnyNull(const StoredTest& t, std::string_view record) {
  for (const dbf::Field* f : t.nullable) {
    if (dbf::IsNull(*f, record)) return true;
  }
  return false;
}

bool SameBytes(const char* a, const char* b, size_t n, bool bytewise, Collation collation) {
  if (bytewise) return std::memcmp(a, b, n) == 0;
  for (size_t i = 0; i < n; ++i) {
    if (CollationWeight(collation, static_cast<unsigned char>(a[i])) !=
        CollationWeight(collation, static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The value's text of one piece, `p.width` bytes at `out`.
void PartValue(const StoredPart& p, std::string_view record, char* out) {
  const char* stored = record.data() + (p.field ? p.field->offset : 0);
  switch (p.kind) {
    case StoredPart::Kind::kConstant:
      std::memcpy(out, p.bytes.data(), p.width);
      return;
    case StoredPart::Kind::kBytes:
      std::memcpy(out, stored, p.width);
      return;
    case StoredPart::Kind::kDate:
      if (dbf::DecodeDate(*p.field, record)) {
        std::memcpy(out, stored, 8);
      } else {
        std::memset(out, ' ', 8);
      }
      return;
    case StoredPart::Kind::kWhole: {
      const size_t length = p.field->length;
      if (!RightAlignedWhole(stored, length)) {
        const std::string text = StrText(dbf::DecodeNumeric(*p.field, record).value, p.width, 0);
        std::memcpy(out, text.data(), p.width);
      } else if (length <= p.width) {
        std::memset(out, ' ', p.width - length);
        std::memcpy(out + (p.width - length), stored, length);
      } else if (std::all_of(stored, stored + (length - p.width), [](char c) { return c == ' '; })) {
        std::memcpy(out, stored + (length - p.width), p.width);
      } else {
        std::memset(out, '*', p.width);  // more digits than the width holds
      }
      return;
    }
  }
}

bool SliceEqual(const StoredTest& t, const EqualitySlice& s, std::string_view record, Collation collation) {
  const StoredPart& p = t.parts[s.part];
  const char* wanted = t.target.data() + s.from;
  const size_t skip = s.from - p.at;
  if (p.kind == StoredPart::Kind::kConstant)
    return SameBytes(p.bytes.data() + skip, wanted, s.length, s.bytewise, collation);
  if (p.kind != StoredPart::Kind::kWhole || p.width == p.field->length) {
    const bool equal =
        SameBytes(record.data() + p.field->offset + skip, wanted, s.length, s.bytewise, collation);
    if (p.kind == StoredPart::Kind::kBytes || (equal ? s.sureWhenEqual : s.sureWhenUnequal)) return equal;
  }
  char value[kMaxStoredText];
  PartValue(p, record, value);
  return SameBytes(value + skip, wanted, s.length, s.bytewise, collation);
}

// The text the pieces and steps make for the record: a view into the record or into `buffer`.
std::string_view TextValue(const StoredTest& t, std::string_view record, char* buffer) {
  const char* begin = buffer;
  size_t n = t.width;
  if (t.parts.size() == 1 && t.parts[0].kind == StoredPart::Kind::kBytes) {
    begin = record.data() + t.parts[0].field->offset;
  } else {
    for (const StoredPart& p : t.parts) PartValue(p, record, buffer + p.at);
  }
  for (TextStep step : t.steps) {
    std::string_view s(begin, n);
    switch (step) {
      case TextStep::kTrimRight:
        s = TrimRight(s);
        break;
      case TextStep::kTrimLeft:
        s = TrimLeft(s);
        break;
      case TextStep::kTrimBoth:
        s = TrimLeft(TrimRight(s));
        break;
      case TextStep::kUpper:
      case TextStep::kLower:
        if (begin != buffer) std::memmove(buffer, begin, n);
        for (size_t i = 0; i < n; ++i)
          buffer[i] = step == TextStep::kUpper ? ToUpperAnsi(buffer[i]) : ToLowerAnsi(buffer[i]);
        s = std::string_view(buffer, n);
        break;
    }
    begin = s.data();
    n = s.size();
  }
  return {begin, n};
}

Tri TestText(const StoredTest& t, std::string_view record, const EvalEnv& env) {
  if (!t.nullable.empty() && AnyNull(t, record)) return Tri::kUnknown;
  if (t.equalityLane) {
    const Collation collation = t.op == Op::kExactEq ? Collation::kMachine : env.collation;
    bool equal = true;
    for (const EqualitySlice& s : t.slices) {
      if (!SliceEqual(t, s, record, collation)) {
        equal = false;
        break;
      }
    }
    return Truth(equal != (t.op == Op::kNe));
  }
  char buffer[kMaxStoredText];
  const std::string_view s = TextValue(t, record, buffer);
  if (t.between) {
    const bool inside =
        TextComparisonHolds(Op::kGe, s, t.text, env) && TextComparisonHolds(Op::kLe, s, t.textHigh, env);
    return Truth(inside != t.negated);
  }
  return Truth(t.constantFirst ? TextComparisonHolds(Flipped(t.op), t.text, s, env)
                               : TextComparisonHolds(t.op, s, t.text, env));
}

Tri TestLike(const StoredTest& t, std::string_view record, const EvalEnv& env) {
  if (!t.nullable.empty() && AnyNull(t, record)) return Tri::kUnknown;
  bool match;
  if (t.likeLane == StoredTest::LikeLane::kGeneral) {
    char buffer[kMaxStoredText];
    match = LikeMatch(TextValue(t, record, buffer), t.text, env.collation);
  } else {
    const std::string_view bytes(record.data() + t.parts[0].field->offset, t.width);
    if (t.likeLane == StoredTest::LikeLane::kPrefix) {
      match = bytes.starts_with(t.target);
    } else {
      match = t.target.size() == 1 ? std::memchr(bytes.data(), t.target[0], bytes.size()) != nullptr
                                   : bytes.find(t.target) != std::string_view::npos;
    }
  }
  return Truth(match != t.negated);
}

}  // namespace

void ChooseStoredForm(Expr& e, const EvalEnv& env) {
  if (!env.storedTests) return;
  auto t = std::make_shared<StoredTest>();
  const Expr* side = nullptr;
  if (e.kind == ExprKind::kBinary && IsComparison(e.op)) {
    if (KnownConstant(*e.args[1]) && !e.args[0]->constant) {
      side = e.args[0].get();
      t->op = e.op;
      t->value = e.args[1]->constantValue;
    } else if (KnownConstant(*e.args[0]) && !e.args[1]->constant) {
      side = e.args[1].get();
      t->op = Flipped(e.op);
      t->constantFirst = true;
      t->value = e.args[0]->constantValue;
    }
  } else if (e.kind == ExprKind::kBetween && !e.args[0]->constant && KnownConstant(*e.args[1]) &&
             KnownConstant(*e.args[2])) {
    side = e.args[0].get();
    t->op = Op::kGe;
    t->between = true;
    t->negated = e.negated;
    t->value = e.args[1]->constantValue;
    t->valueHigh = e.args[2]->constantValue;
  } else if (e.kind == ExprKind::kLike && !e.args[0]->constant && KnownConstant(*e.args[1]) &&
             e.args[1]->constantValue.kind == ValueKind::kText) {
    side = e.args[0].get();
    t->kind = StoredTest::Kind::kLike;
    t->negated = e.negated;
    t->text.assign(e.args[1]->constantValue.text);
  }
  if (!side && e.kind == ExprKind::kBinary && IsComparison(e.op) &&
      ChooseFields(*t, *e.args[0], *e.args[1])) {
    t->op = e.op;
    e.stored = std::move(t);
    return;
  }
  if (!side || !ChooseSide(*t, *side, env)) return;
  // The constants' texts live in the test itself.
  t->value.text = {};
  t->valueHigh.text = {};
  e.stored = std::move(t);
}

Tri TestStored(const StoredTest& t, std::string_view record, const EvalEnv& env) {
  switch (t.kind) {
    case StoredTest::Kind::kDate: {
      if (t.field->nullable() && dbf::IsNull(*t.field, record)) return Tri::kUnknown;
      const uint64_t key = StoredDateKey(record.data() + t.field->offset);
      if (t.between) return Truth((key >= t.dateKey && key <= t.dateKeyHigh) != t.negated);
      return Truth(OrderHolds(t.op, key < t.dateKey ? -1 : key > t.dateKey ? 1 : 0));
    }
    case StoredTest::Kind::kValue: {
      if (t.field->nullable() && dbf::IsNull(*t.field, record)) return Tri::kUnknown;
      const Value v = DecodeScalar(*t.field, record);
      if (t.between) {
        const bool inside = CompareSameKind(v, t.value, env.collation) >= 0 &&
                            CompareSameKind(v, t.valueHigh, env.collation) <= 0;
        return Truth(inside != t.negated);
      }
      return Truth(OrderHolds(t.op, CompareSameKind(v, t.value, env.collation)));
    }
    case StoredTest::Kind::kFields: {
      if ((t.field->nullable() && dbf::IsNull(*t.field, record)) ||
          (t.other->nullable() && dbf::IsNull(*t.other, record)))
        return Tri::kUnknown;
      if (t.field->type == dbf::FieldType::kDate) {
        const uint64_t a = StoredDateKey(record.data() + t.field->offset);
        const uint64_t b = StoredDateKey(record.data() + t.other->offset);
        return Truth(OrderHolds(t.op, a < b ? -1 : a > b ? 1 : 0));
      }
      const double a = StoredNumber(*t.field, record), b = StoredNumber(*t.other, record);
      return Truth(OrderHolds(t.op, a < b ? -1 : a > b ? 1 : 0));
    }
    case StoredTest::Kind::kText:
      return TestText(t, record, env);
    case StoredTest::Kind::kLike:
      return TestLike(t, record, env);
  }
  return Tri::kUnknown;
}

namespace {

// A word over the eight record bytes that end where `bytes`, at `at`, end, those bytes to be `bytes`: for a
// whole number first in the record, the eight that start with them.
bool WordAt(uint32_t at, std::string_view bytes, StoredWord& word) {
  const auto n = static_cast<uint32_t>(bytes.size());
  if (n == 0 || n > 8 || (at + n < 8 && !word.whole)) return false;
  const uint32_t skip = at + n < 8 ? 0 : 8 - n;  // bytes of the word before `bytes`
  word.offset = at + n < 8 ? at : at + n - 8;
  word.mask = (n == 8 ? ~uint64_t{0} : ((uint64_t{1} << (8 * n)) - 1)) << (8 * skip);
  word.value = 0;
  std::memcpy(reinterpret_cast<char*>(&word.value) + skip, bytes.data(), n);
  return true;
}

// The field bytes that a whole number field holds, written right-aligned, when its STR piece is `wanted`:
// empty when no such bytes give it.
std::string WholeFieldBytes(const StoredPart& p, std::string_view wanted) {
  const size_t length = p.field->length;
  if (length <= p.width) {
    const std::string_view head = wanted.substr(0, p.width - length);
    if (head.find_first_not_of(' ') != std::string_view::npos) return {};
    return std::string(wanted.substr(p.width - length));
  }
  if (wanted.find('*') != std::string_view::npos) return {};  // too wide a number gives stars
  return std::string(length - p.width, ' ') + std::string(wanted);
}

void AddTextWords(const StoredTest& t, std::vector<StoredWord>& words) {
  for (const EqualitySlice& s : t.slices) {
    const StoredPart& p = t.parts[s.part];
    if (s.length == 0) continue;
    const std::string_view wanted = std::string_view(t.target).substr(s.from, s.length);
    StoredWord w;
    if (p.kind == StoredPart::Kind::kWhole) {
      w.whole = true;
      if ((s.bytewise || s.digitsAndBlanks) && s.length == p.width &&
          WordAt(p.field->offset, WholeFieldBytes(p, wanted), w))
        words.push_back(w);
    } else if (s.bytewise && (p.kind == StoredPart::Kind::kBytes ||
                              (p.kind == StoredPart::Kind::kDate && s.sureWhenUnequal))) {
      const uint32_t at = p.field->offset + (s.from - p.at);
      if (WordAt(at, wanted.substr(0, 8), w)) words.push_back(w);
      // Texts of one column often share their start (a policy number's region code): their last characters
      // tell them apart.
      const size_t end = wanted.find_last_not_of(' ') + 1;
      if (end > 8 && WordAt(at + static_cast<uint32_t>(end - 8), wanted.substr(end - 8, 8), w))
        words.push_back(w);
    }
  }
}

// n = constant on an N(m,0) field of up to 8 bytes.
void AddValueWord(const StoredTest& t, std::vector<StoredWord>& words) {
  const dbf::Field& f = *t.field;
  if (t.between || (t.op != Op::kEq && t.op != Op::kExactEq) || f.type != dbf::FieldType::kNumeric ||
      f.decimals != 0 || f.nullable() || f.length > 16 || t.value.kind != ValueKind::kNumber)
    return;
  const double n = t.value.number;
  if (!(n >= 0) || n != std::trunc(n) || n >= std::pow(10.0, std::min<int>(f.length, 8))) return;
  char text[32];
  std::snprintf(text, sizeof text, "%*.0f", static_cast<int>(f.length), n);
  StoredWord w;
  w.whole = true;
  if (f.length <= 8) {
    if (WordAt(f.offset, text, w)) words.push_back(w);
    return;
  }
  // The last eight bytes, and blanks before them.
  const uint32_t head = f.length - 8u;
  w.headOffset = f.offset;
  w.headMask = ~uint64_t{0} >> (8 * (8 - head));
  if (WordAt(f.offset + head, std::string_view(text + head, 8), w)) words.push_back(w);
}

}  // namespace

std::vector<StoredWord> NecessaryWords(const StoredTest& t) {
  std::vector<StoredWord> words;
  if (t.kind == StoredTest::Kind::kValue) {
    AddValueWord(t, words);
  } else if (t.kind == StoredTest::Kind::kText && t.equalityLane && t.op != Op::kNe && t.nullable.empty()) {
    AddTextWords(t, words);
  } else if (t.kind == StoredTest::Kind::kLike && t.likeLane == StoredTest::LikeLane::kPrefix && !t.negated &&
             t.nullable.empty()) {
    StoredWord w;
    const std::string_view prefix = t.target;
    if (WordAt(t.parts[0].field->offset, prefix.substr(0, 8), w)) words.push_back(w);
  }
  return words;
}

}  // namespace vorel::sql
