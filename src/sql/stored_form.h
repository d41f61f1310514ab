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
};

struct StoredTest {
  enum class Kind : uint8_t {
    kDate,   // a date field against constant dates: the stored digits compared as a number
    kValue,  // a number, date-time or logical field against constants, decoded in place
    kText,   // a text of stored pieces against constant texts
    kLike,   // a text of stored pieces LIKE a constant pattern
  };
  Kind kind = Kind::kValue;
  Op op = Op::kNone;           // with the stored side on the left; kGe for BETWEEN
  bool between = false;        // BETWEEN: >= the first constant and <= the second
  bool negated = false;        // NOT LIKE, NOT BETWEEN
  bool constantFirst = false;  // the constant stands on the left (texts are compared in the written order)
  const dbf::Field* field = nullptr;      // kDate, kValue
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

// Eight bytes of the record at `offset` that must equal `value` under `mask` for the test to be true (and
// that make it false, not NULL, when they do not); false when the test has none.
struct StoredWord {
  uint32_t offset = 0;
  uint64_t mask = 0, value = 0;
};
bool NecessaryWord(const StoredTest& t, StoredWord& word);

}  // namespace vorel::sql
