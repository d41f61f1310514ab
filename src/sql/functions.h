#pragma once

#include <cstdint>
#include <string_view>

#include "sql/value.h"

// The scalar functions of the dialect.
namespace vorel::sql {

enum class FunctionId : uint8_t {
  kDate,
  kDateTime,
  kDtos,
  kDtoc,
  kTtoc,
  kStr,
  kTrim,
  kRtrim,
  kLtrim,
  kAlltrim,
  kUpper,
  kLower,
  kSubstr,
  kLeft,
  kRight,
  kLen,
  kVal,
  kInt,
  kRound,
  kAbs,
  kEmpty,
  kIsNull,
  kIif,
  kNvl,
  kInlist,
  kBetween,
  kYear,
  kMonth,
  kDay,
  kHour,
  kMinute,
  kSec,
  kCtod,
  kTtod,
  kDtot,
  kPadl,
  kPadr,
  kPadc,
  kDeleted,
  kRecno,
  kSpace,
  kChr,
  kAsc,
  kAt,
  kMod,
  kMin,
  kMax,
  kCeiling,
  kFloor,
  kSign,
  kGomonth,
  kDow,
};

struct FunctionInfo {
  std::string_view name;
  FunctionId id;
  uint8_t minArgs;
  uint8_t maxArgs;
  // Expected kind of each argument: 'C' text, 'N' number, 'D' date or date-time, 'T' date-time, '*' any.
  std::string_view argKinds;
  ValueKind result;  // kNull: the kind of the arguments (IIF, NVL, MIN, MAX)
  bool perRecord;    // DELETED(), RECNO(): never computed once for the statement
};

// The function of that name: the full name or a cut of it of four letters or more that fits exactly one
// function, letter case ignored; nullptr when none or several fit.
const FunctionInfo* FindFunction(std::string_view name);

}  // namespace vorel::sql
