#pragma once

#include <cstdint>
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

// True when the field's null bit is set in _NullFlags (always false for a field that does not accept NULL).
bool IsNull(const Field& field, std::string_view record);

// The stored bytes of a field, whatever its type.
std::string_view FieldBytes(const Field& field, std::string_view record);

// C: the bytes as stored, padded with blanks to the field width. V/Q: the value by its length (the length
// byte when the varlength bit is set, else the whole field). A NULL value gives its stored blanks.
std::string_view DecodeText(const Field& field, std::string_view record);
// As DecodeText, converted to Windows-1251 when the table stores its text in code page 866 (field.oemText).
std::string DecodeTextAnsi(const Field& field, std::string_view record);

// N, F: the number the text says ("  -12.50" -> -12.5); blanks give {0, blank = true}. Text that is not a
// number is read as far as it is one (as VAL() does): "***" -> 0.
NumericValue DecodeNumeric(const Field& field, std::string_view record);
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
std::optional<int64_t> DecodeDate(const Field& field, std::string_view record);
// T: Julian day + milliseconds; std::nullopt for an empty datetime (julian day 0). D: the date at midnight.
std::optional<DateTimeValue> DecodeDateTime(const Field& field, std::string_view record);

// L: true ('T','t','Y','y'), false ('F','f','N','n'), std::nullopt when not set (blank, '?').
std::optional<bool> DecodeLogical(const Field& field, std::string_view record);

// M, G, W, P: the block number in the memo file, 0 for an empty value. (Table::ReadMemo reads the value.)
uint32_t DecodeMemoBlock(const Field& field, std::string_view record);

}  // namespace vorel::dbf
