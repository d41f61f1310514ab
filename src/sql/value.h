#pragma once

#include <cstdint>
#include <string_view>

// A typed value as expressions and result sets see it. Text is a view: it points into a record buffer, a
// scratch buffer of the expression that produced it, or a result set's text store, and is valid only as long
// as its owner keeps it (the current row of a scan, the open result).
namespace vorel::sql {

enum class ValueKind : uint8_t {
  kNull,      // .NULL.
  kText,      // character, varchar and memo values (Windows-1251 bytes)
  kNumber,    // numeric, float, integer, double and currency values
  kDate,      // Julian Day Number; 0 is the empty date
  kDateTime,  // milliseconds since the start of Julian day 0; 0 is the empty date-time
  kLogical,
};

inline constexpr int64_t kMillisecondsPerDay = 86'400'000;

struct Value {
  ValueKind kind = ValueKind::kNull;
  bool logical = false;
  double number = 0;
  int64_t moment = 0;  // date: Julian day; date-time: milliseconds (see ValueKind)
  std::string_view text;

  static Value Null() { return {}; }
  static Value Text(std::string_view t) {
    Value v;
    v.kind = ValueKind::kText;
    v.text = t;
    return v;
  }
  static Value Number(double n) {
    Value v;
    v.kind = ValueKind::kNumber;
    v.number = n;
    return v;
  }
  static Value Date(int64_t julianDay) {
    Value v;
    v.kind = ValueKind::kDate;
    v.moment = julianDay;
    return v;
  }
  static Value DateTime(int64_t milliseconds) {
    Value v;
    v.kind = ValueKind::kDateTime;
    v.moment = milliseconds;
    return v;
  }
  static Value Logical(bool b) {
    Value v;
    v.kind = ValueKind::kLogical;
    v.logical = b;
    return v;
  }

  bool isNull() const { return kind == ValueKind::kNull; }
  // An empty date or date-time ({} as VFP writes it).
  bool isEmptyMoment() const {
    return (kind == ValueKind::kDate || kind == ValueKind::kDateTime) && moment == 0;
  }
};

}  // namespace vorel::sql
