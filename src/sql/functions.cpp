#include "sql/functions.h"

namespace vorel::sql {
namespace {

constexpr ValueKind C = ValueKind::kText;
constexpr ValueKind N = ValueKind::kNumber;
constexpr ValueKind D = ValueKind::kDate;
constexpr ValueKind T = ValueKind::kDateTime;
constexpr ValueKind L = ValueKind::kLogical;
constexpr ValueKind Any = ValueKind::kNull;
using F = FunctionId;

constexpr FunctionInfo kFunctions[] = {
    {"DATE", F::kDate, 0, 3, "NNN", D, false},      {"DATETIME", F::kDateTime, 0, 6, "NNNNNN", T, false},
    {"DTOS", F::kDtos, 1, 1, "D", C, false},        {"DTOC", F::kDtoc, 1, 2, "DN", C, false},
    {"TTOC", F::kTtoc, 1, 2, "DN", C, false},       {"STR", F::kStr, 1, 3, "NNN", C, false},
    {"TRIM", F::kTrim, 1, 1, "C", C, false},        {"RTRIM", F::kRtrim, 1, 1, "C", C, false},
    {"LTRIM", F::kLtrim, 1, 1, "C", C, false},      {"ALLTRIM", F::kAlltrim, 1, 1, "C", C, false},
    {"UPPER", F::kUpper, 1, 1, "C", C, false},      {"LOWER", F::kLower, 1, 1, "C", C, false},
    {"SUBSTR", F::kSubstr, 2, 3, "CNN", C, false},  {"LEFT", F::kLeft, 2, 2, "CN", C, false},
    {"RIGHT", F::kRight, 2, 2, "CN", C, false},     {"LEN", F::kLen, 1, 1, "C", N, false},
    {"VAL", F::kVal, 1, 1, "C", N, false},          {"INT", F::kInt, 1, 1, "N", N, false},
    {"ROUND", F::kRound, 2, 2, "NN", N, false},     {"ABS", F::kAbs, 1, 1, "N", N, false},
    {"EMPTY", F::kEmpty, 1, 1, "*", L, false},      {"ISNULL", F::kIsNull, 1, 1, "*", L, false},
    {"IIF", F::kIif, 3, 3, "L**", Any, false},      {"NVL", F::kNvl, 2, 2, "**", Any, false},
    {"INLIST", F::kInlist, 2, 255, "*", L, false},  {"BETWEEN", F::kBetween, 3, 3, "***", L, false},
    {"YEAR", F::kYear, 1, 1, "D", N, false},        {"MONTH", F::kMonth, 1, 1, "D", N, false},
    {"DAY", F::kDay, 1, 1, "D", N, false},          {"HOUR", F::kHour, 1, 1, "T", N, false},
    {"MINUTE", F::kMinute, 1, 1, "T", N, false},    {"SEC", F::kSec, 1, 1, "T", N, false},
    {"CTOD", F::kCtod, 1, 1, "C", D, false},        {"TTOD", F::kTtod, 1, 1, "D", D, false},
    {"DTOT", F::kDtot, 1, 1, "D", T, false},        {"PADL", F::kPadl, 2, 3, "CNC", C, false},
    {"PADR", F::kPadr, 2, 3, "CNC", C, false},      {"PADC", F::kPadc, 2, 3, "CNC", C, false},
    {"DELETED", F::kDeleted, 0, 1, "*", L, true},   {"RECNO", F::kRecno, 0, 1, "*", N, true},
    {"SPACE", F::kSpace, 1, 1, "N", C, false},      {"CHR", F::kChr, 1, 1, "N", C, false},
    {"ASC", F::kAsc, 1, 1, "C", N, false},          {"AT", F::kAt, 2, 3, "CCN", N, false},
    {"MOD", F::kMod, 2, 2, "NN", N, false},         {"MIN", F::kMin, 2, 255, "*", Any, false},
    {"MAX", F::kMax, 2, 255, "*", Any, false},      {"CEILING", F::kCeiling, 1, 1, "N", N, false},
    {"FLOOR", F::kFloor, 1, 1, "N", N, false},      {"SIGN", F::kSign, 1, 1, "N", N, false},
    {"GOMONTH", F::kGomonth, 2, 2, "DN", D, false}, {"DOW", F::kDow, 1, 2, "DN", N, false},
};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool StartsWithNoCase(std::string_view full, std::string_view prefix) {
  if (prefix.size() > full.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(full[i]) != Upper(prefix[i])) return false;
  }
  return true;
}

}  // namespace

const FunctionInfo* FindFunction(std::string_view name) {
  for (const FunctionInfo& f : kFunctions) {
    if (f.name.size() == name.size() && StartsWithNoCase(f.name, name)) return &f;
  }
  if (name.size() < 4) return nullptr;
  const FunctionInfo* found = nullptr;
  for (const FunctionInfo& f : kFunctions) {
    if (StartsWithNoCase(f.name, name)) {
      if (found) return nullptr;  // the cut fits more than one name
      found = &f;
    }
  }
  return found;
}

}  // namespace vorel::sql
