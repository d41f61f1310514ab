#include <algorithm>
#include <cmath>

#include "platform/calendar.h"
#include "platform/code_page.h"
#include "sql/date_text.h"
#include "sql/expression_internal.h"
#include "sql/functions.h"
#include "sql/number_text.h"

// The scalar functions of the dialect, evaluated on their arguments' values.
namespace vorel::sql {
namespace {

using namespace detail;

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

Value detail::EvaluateFunction(Expr& e, const RowContext& row, const EvalEnv& env) {
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