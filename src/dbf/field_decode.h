#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "dbf/field.h"

// Reading field values out of the raw bytes of a record (byte 0 = deleted flag). Nothing here allocates
// except DecodeTextAnsi; the record view must cover the whole record (RecordLength bytes). A decoder called
// for a type it does not handle throws FieldValueError.
namespace vorel::dbf {

// A datetime as the table stores it: Julian Day Number and milliseconds since midnight.
struct DateTimeValue {
  int64_t julianDay = 0;
  int32_t milliseconds = 0;
  friend bool operator==(const DateTimeValue&, const DateTimeValue&) = default;
};

// A numeric (N/F) field: its value, and whether the field was blank (all spaces; value 0 then).
struct NumericValue {
  double value = 0;
  bool blank = false;
};

// The scan path decodes dates, numbers and texts of a million records per statement: their common cases are
// inline here so that a caller's loop keeps the field checks out of the way; the rest is out of line.
namespace decode_detail {
[[noreturn]] void ThrowOutsideRecord(const Field& field);
std::string_view DecodeVariableText(const Field& field, std::string_view record);
std::optional<int64_t> DecodeDateOtherType(const Field& field, std::string_view record);
NumericValue DecodeNumericOtherType(const Field& field, std::string_view record);
// DecodeNumeric beyond its inline case.
NumericValue DecodeNumericText(const Field& field, std::string_view record);
// Numeric text read like VAL(): leading blanks, sign, digits, point, digits; all blanks -> blank.
NumericValue ParseNumericText(std::string_view text);

inline constexpr uint8_t kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Whether the eight bytes are all ASCII digits: every byte 0x30..0x39, high nibble 3, and still 3 after
// adding 6.
inline bool AllDigits(uint64_t v) {
  constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull, kZeros = 0x3030303030303030ull;
  return !(((v & kHigh) ^ kZeros) | (((v + 0x0606060606060606ull) & kHigh) ^ kZeros));
}

// "YYYYMMDD" as 8 bytes loaded little-endian: the Julian Day Number, or 0 when it is not a date (no date of
// years 1..9999 has day number 0). A plain integer result keeps the hot path in registers.
inline int64_t JulianDayOfDigits(uint64_t v) {
  static_assert(std::endian::native == std::endian::little);
  if (!AllDigits(v)) return 0;
  uint64_t d = v - 0x3030303030303030ull;
  d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFull;  // digit pairs: YY YY MM DD
  const auto year = static_cast<uint32_t>((d & 0xFF) * 100 + ((d >> 16) & 0xFF));
  const auto month = static_cast<uint32_t>((d >> 32) & 0xFF);
  const auto day = static_cast<uint32_t>(d >> 48);
  if (year == 0 || month - 1 >= 12 || day - 1 >= kMonthDays[month - 1]) return 0;
  if (month == 2 && day == 29 && (year % 4 != 0 || (year % 100 == 0 && year % 400 != 0))) return 0;
  // Civil date to day count (years counted from March), unsigned since year >= 1.
  const uint32_t y = year - (month <= 2);
  const uint32_t era = y / 400;
  const uint32_t yoe = y - era * 400;
  const uint32_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const uint32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  // 1721120 = Julian Day Number of 0000-03-01, the start of era 0.
  return static_cast<int64_t>(era) * 146097 + doe + 1721120;
}

// A whole number as an N field stores it ("   42", "  -7", "00012"): blanks, at most one minus, then digits
// to the end, at most 15 of them (exact in a double). Returns false for any other form (decimal point,
// blanks only, stray characters), which the general parser then reads. A plain loop: the texts of one column
// keep their shape from record to record, so its branches predict well.
inline bool ParseWholeNumber(const char* text, unsigned length, double& value) {
  unsigned i = 0;
  while (i < length && text[i] == ' ') ++i;
  const bool negative = i < length && text[i] == '-';
  i += negative;
  if (i == length || length - i > 15) return false;
  uint64_t n = 0;
  for (; i < length; ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
    if (digit > 9) return false;
    n = n * 10 + digit;
  }
  value = negative ? -static_cast<double>(n) : static_cast<double>(n);
  return true;
}

// ParseWholeNumber for a field of up to 8 characters, without a loop: `v` holds the field's bytes (first
// character lowest) and whatever follows them in the record.
inline bool ParseShortWholeNumber(uint64_t v, unsigned length, double& value) {
  constexpr uint64_t kZeros = 0x3030303030303030ull;
  const uint64_t nonBlank = v ^ 0x2020202020202020ull;
  unsigned start = nonBlank == 0 ? 8 : static_cast<unsigned>(std::countr_zero(nonBlank)) / 8;
  if (start >= length) return false;  // blanks only
  const bool negative = static_cast<char>(v >> (8 * start)) == '-';
  start += negative;
  if (start == length) return false;
  // The k characters from `start` moved to the top bytes, '0' filling the bytes below them.
  const unsigned k = length - start;
  uint64_t digits = (v >> (8 * start)) << (8 * (8 - k));
  digits |= (kZeros >> (4 * k)) >> (4 * k);
  if (!AllDigits(digits)) return false;
  uint64_t d = digits - kZeros;
  d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFull;
  d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFull;
  d = (d * 10000 + (d >> 32)) & 0xFFFFFFFFull;
  value = negative ? -static_cast<double>(d) : static_cast<double>(d);
  return true;
}

}  // namespace decode_detail

// True when the field's null bit is set in _NullFlags (always false for a field that does not accept NULL).
bool IsNull(const Field& field, std::string_view record);

// The stored bytes of a field, whatever its type.
inline std::string_view FieldBytes(const Field& field, std::string_view record) {
  if (static_cast<size_t>(field.offset) + field.length > record.size()) [[unlikely]]
    decode_detail::ThrowOutsideRecord(field);
  return {record.data() + field.offset, field.length};
}

// C: the bytes as stored, padded with blanks to the field width. V/Q: the value by its length (the length
// byte when the varlength bit is set, else the whole field). A NULL value gives its stored blanks.
inline std::string_view DecodeText(const Field& field, std::string_view record) {
  if (field.type == FieldType::kCharacter) return FieldBytes(field, record);
  return decode_detail::DecodeVariableText(field, record);
}
// As DecodeText, converted to Windows-1251 when the table stores its text in code page 866 (field.oemText).
std::string DecodeTextAnsi(const Field& field, std::string_view record);

// N, F: the number the text says ("  -12.50" -> -12.5); blanks give {0, blank = true}. Text that is not a
// number is read as far as it is one (as VAL() does): "***" -> 0.
inline NumericValue DecodeNumeric(const Field& field, std::string_view record) {
  // The common case inline, small enough to sit in a caller's loop: a whole number of up to 8 characters, in
  // a field of up to 16 whose first characters are blanks.
  if ((field.type == FieldType::kNumeric || field.type == FieldType::kFloat) && field.decimals == 0 &&
      field.length <= 16 && field.offset + 8 <= record.size()) {
    uint64_t v;
    std::memcpy(&v, record.data() + field.offset, sizeof v);  // the record goes on past the field
    double value;
    if (field.length <= 8) {
      if (decode_detail::ParseShortWholeNumber(v, field.length, value)) return {value, false};
    } else {
      const unsigned head = field.length - 8u;
      const uint64_t headMask = ~uint64_t{0} >> (8 * (8 - head));
      uint64_t tail;
      std::memcpy(&tail, record.data() + field.offset + head, sizeof tail);
      if ((v & headMask) == (0x2020202020202020ull & headMask) &&
          decode_detail::ParseShortWholeNumber(tail, 8, value))
        return {value, false};
    }
  }
  return decode_detail::DecodeNumericText(field, record);
}
// I: the int32 value.
int32_t DecodeInteger(const Field& field, std::string_view record);
// B: the double value.
double DecodeDouble(const Field& field, std::string_view record);
// Y: the value x 10000.
int64_t DecodeCurrency(const Field& field, std::string_view record);
// N, F, I, B, Y as a double (blank N/F -> 0).
double DecodeNumber(const Field& field, std::string_view record);

// D: the Julian Day Number of the date; std::nullopt for a blank (or unreadable) date.
// T: the date part of the datetime. (JulianDayFromCivil / CivilFromJulianDay in platform/calendar.h convert.)
inline std::optional<int64_t> DecodeDate(const Field& field, std::string_view record) {
  if (field.type != FieldType::kDate) [[unlikely]]
    return decode_detail::DecodeDateOtherType(field, record);
  uint64_t v;
  std::memcpy(&v, FieldBytes(field, record).data(), sizeof v);
  const int64_t day = decode_detail::JulianDayOfDigits(v);
  if (day == 0) return std::nullopt;
  return day;
}
// T: Julian day + milliseconds; std::nullopt for an empty datetime (julian day 0). D: the date at midnight.
std::optional<DateTimeValue> DecodeDateTime(const Field& field, std::string_view record);

// L: true ('T','t','Y','y'), false ('F','f','N','n'), std::nullopt when not set (blank, '?').
std::optional<bool> DecodeLogical(const Field& field, std::string_view record);

// N, F, D: whether the stored bytes are no value of the type: "******" (a number too wide for its field),
// "x12", a date "2026ab01". Blanks (or NUL bytes) are the empty value, not unreadable. Statements still read
// such bytes as DecodeNumeric and DecodeDate do (0, an empty date); Table XML shows them as unreadable.
bool HoldsUnreadableValue(const Field& field, std::string_view record);

// M, G, W, P: the block number in the memo file, 0 for an empty value. (Table::ReadMemo reads the value.)
uint32_t DecodeMemoBlock(const Field& field, std::string_view record);

}  // namespace vorel::dbf
