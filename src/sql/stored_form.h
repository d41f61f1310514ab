#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/field.h"
#include "dbf/field_decode.h"
#include "sql/ast.h"
#include "sql/expression.h"

// Predicates answered from the stored bytes of a record instead of decoded values. Binding recognises a
// comparison, BETWEEN or LIKE of a field (or of a text joined from fixed-width stored pieces: a character
// field, DTOC(d,1), DTOS(d), STR(n,w) of an N(m,0) field, constants; TRIM, LTRIM, ALLTRIM, UPPER, LOWER
// around them) with constants; evaluation compares the stored bytes, and for a piece whose stored form is not
// its value's text (an unreadable date, a number not written right-aligned) computes that piece as the
// general evaluation does. The result is always the general evaluation's, NULL included.
namespace vorel::sql {

enum class Tri : int8_t { kFalse, kTrue, kUnknown };

// One fixed-width piece of a text.
struct StoredPart {
  enum class Kind : uint8_t {
    kBytes,     // a character field: its stored bytes
    kConstant,  // a constant text
    kDate,   // DTOC(d,1) / DTOS(d) of a date field: the stored digits; blanks for an empty or unreadable date
    kWhole,  // STR(n,w) of an N(m,0) field: right-aligned stored digits, moved to the width w
  };
  Kind kind = Kind::kBytes;
  const dbf::Field* field = nullptr;
  uint16_t at = 0;  // where the piece starts in the text
  uint16_t width = 0;
  std::string bytes;  // kConstant
};

// What is done to the joined pieces, innermost first.
enum class TextStep : uint8_t { kTrimRight, kTrimLeft, kTrimBoth, kUpper, kLower };

// A stretch of the equality lane: text bytes [from, from + length), all inside piece `part`.
struct EqualitySlice {
  uint16_t part = 0;
  uint16_t from = 0, length = 0;
  bool bytewise = true;         // every target byte weighs alone: equal weights mean equal bytes
  bool sureWhenEqual = true;    // stored bytes equal to the target: the piece's value is equal too
  bool sureWhenUnequal = true;  // stored bytes unequal: the piece's value is unequal too
  // kWhole: the target is digits and blanks, and digits weigh alone, so that a number's right-aligned text
  // matches the target exactly when its bytes do.
  bool digitsAndBlanks = false;
};

struct StoredTest {
  enum class Kind : uint8_t {
    kDate,    // a date field against constant dates: the stored digits compared as a number
    kValue,   // a number, date-time or logical field against constants, decoded in place
    kText,    // a text of stored pieces against constant texts
    kLike,    // a text of stored pieces LIKE a constant pattern
    kFields,  // a number or date field against another of its kind
  };
  Kind kind = Kind::kValue;
  Op op = Op::kNone;           // with the stored side on the left; kGe for BETWEEN
  bool between = false;        // BETWEEN: >= the first constant and <= the second
  bool negated = false;        // NOT LIKE, NOT BETWEEN
  bool constantFirst = false;  // the constant stands on the left (texts are compared in the written order)
  const dbf::Field* field = nullptr;      // kDate, kValue, kFields
  const dbf::Field* other = nullptr;      // kFields: the field on the right
  uint64_t dateKey = 0, dateKeyHigh = 0;  // kDate: the constants' yyyymmdd as big-endian numbers
  Value value, valueHigh;                 // kValue
  std::string text, textHigh;             // kText: the constants; kLike: the pattern

  // kText, kLike: the pieces, what is done to them, and the fields whose NULL makes the text NULL.
  std::vector<StoredPart> parts;
  std::vector<TextStep> steps;
  std::vector<const dbf::Field*> nullable;
  uint16_t width = 0;

  // kText with =, ==, <>: equal exactly when the text's bytes [0, target.size()) are those of `target`,
  // stretch by stretch.
  bool equalityLane = false;
  std::string target;
  std::vector<EqualitySlice> slices;

  // kLike on one character field: '%text%' or 'text%' where every character of text weighs alone.
  enum class LikeLane : uint8_t { kGeneral, kContains, kPrefix } likeLane = LikeLane::kGeneral;
};

// Marks a bound, non-constant predicate node with its stored-byte form where it has one (not when the
// environment turns stored tests off).
void ChooseStoredForm(Expr& e, const EvalEnv& env);

// The predicate's value on a record.
Tri TestStored(const StoredTest& t, std::string_view record, const EvalEnv& env);

// The order key of a stored date: its yyyymmdd digits as a big-endian number, or the key of blanks for an
// empty or unreadable date (which reads as the empty date, first in order).
inline constexpr uint64_t kBlankDateKey = 0x2020202020202020ull;
inline uint64_t StoredDateKey(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return dbf::decode_detail::JulianDayOfDigits(v) == 0 ? kBlankDateKey : __builtin_bswap64(v);
}

// The number of a numeric field (N, F, I, B, Y) as the general evaluation reads it: blanks and text that is
// no number read as far as they are one.
inline double StoredNumber(const dbf::Field& f, std::string_view record) {
  switch (f.type) {
    case dbf::FieldType::kInteger:
      return dbf::DecodeInteger(f, record);
    case dbf::FieldType::kDouble:
      return dbf::DecodeDouble(f, record);
    case dbf::FieldType::kCurrency:
      return static_cast<double>(dbf::DecodeCurrency(f, record)) / 10000.0;
    default:
      return dbf::DecodeNumeric(f, record).value;
  }
}

// True when the bytes under `mask` (adjacent bytes of `v`, eight record bytes loaded little-endian) are
// a whole number as an N field writes it right-aligned: blanks, then digits without a leading zero (a lone
// 0). Two such texts of one width are equal exactly when their numbers are, and order as their numbers do.
inline bool RightAlignedDigits(uint64_t v, uint64_t mask) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHighBits = 0x8080808080808080ull;
  // The high bit of each byte of x that is zero.
  const auto zeroBytes = [](uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); };
  const uint64_t inside = mask & kHighBits;
  const uint64_t blanks = zeroBytes(v ^ 0x2020202020202020ull) & inside;
  const uint64_t y = v ^ 0x3030303030303030ull;  // a digit's byte is its value, 0..9
  const uint64_t notDigit = (y & 0xF0F0F0F0F0F0F0F0ull) |
                            (((y & 0x0F0F0F0F0F0F0F0Full) + 0x0606060606060606ull) & 0x1010101010101010ull);
  const uint64_t digits = zeroBytes(notDigit) & inside;
  const uint64_t first = digits & (~digits + 1);  // the first digit (bytes later in the record weigh more)
  if ((blanks | digits) != inside || first == 0 || blanks >= first) return false;
  return first == (inside & ~(inside >> 8)) || (zeroBytes(y) & first) == 0;
}

// Eight bytes of the record at `offset` that must equal `value` under `mask` for the test to be true (and
// that make it false, not NULL, when they do not). With `whole`, only bytes that are RightAlignedDigits make
// it false: other texts of the same number (leading zeros, a minus zero) are left to the test itself; such a
// word may reach past the field's end (a number first in the record), and past the record on a short one.
struct StoredWord {
  uint32_t offset = 0;
  uint64_t mask = 0, value = 0;
  bool whole = false;
  // `whole` on a field longer than eight bytes: the word is its last eight, and only bytes under `headMask`
  // at `headOffset` that are all blanks (a number of at most eight digits) make the test false.
  uint32_t headOffset = 0;
  uint64_t headMask = 0;
};
// Every such word of the test, in the order of its pieces.
std::vector<StoredWord> NecessaryWords(const StoredTest& t);

}  // namespace vorel::sql
