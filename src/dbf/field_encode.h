#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "dbf/field.h"
#include "dbf/field_decode.h"

// Writing field values into the raw bytes of a record (byte 0 = deleted flag), as VFP stores them. Each
// encoder writes only its field's bytes and its bits in _NullFlags (clearing the null bit: the value is not
// NULL), and checks everything before touching a byte: on an error the record is unchanged.
// Errors: FieldValueError ("Data type mismatch") for a type the field cannot take, NumericOverflowError
// ("Numeric overflow") for a number that does not fit.
namespace vorel::dbf {

// C, V, Q: the text, cut to the field width; C padded with blanks, V/Q with their length kept per the
// varlength rules. `ansiText` is Windows-1251; converted to 866 for a field with oemText.
void EncodeText(const Field& field, std::string_view ansiText, std::span<char> record);

// N, F: right-aligned in the field width with the field's decimals (rounded half away from zero). When the
// integer part fits but not all decimals, fewer decimals are written, as VFP does; when the integer part does
// not fit (or the value is not finite): NumericOverflowError, nothing written.
// I: rounded to an integer, NumericOverflowError outside int32. B: the double. Y: rounded to 1/10000,
// NumericOverflowError outside int64.
void EncodeNumber(const Field& field, double value, std::span<char> record);
// I, N, F, B, Y from an integer (exact for N/F/Y without going through a double).
void EncodeInteger(const Field& field, int64_t value, std::span<char> record);
// Y from the value x 10000.
void EncodeCurrency(const Field& field, int64_t scaledValue, std::span<char> record);

// D from a Julian Day Number (std::nullopt = blank date); T gets that date at midnight.
void EncodeDate(const Field& field, std::optional<int64_t> julianDay, std::span<char> record);
// T (std::nullopt = empty datetime); D gets the date part.
void EncodeDateTime(const Field& field, std::optional<DateTimeValue> value, std::span<char> record);

// L: 'T' / 'F', blank for std::nullopt.
void EncodeLogical(const Field& field, std::optional<bool> value, std::span<char> record);

// M, G, W, P: the block number (0 = empty). Table::WriteMemo stores a value and calls this.
void EncodeMemoBlock(const Field& field, uint32_t block, std::span<char> record);

// .NULL.: sets the null bit and stores the field's blank bytes. FieldValueError when the field does not
// accept NULL.
void EncodeNull(const Field& field, std::span<char> record);

// The value of a new blank record as VFP stores it (spaces, zero bytes, empty V with its length byte).
void EncodeBlank(const Field& field, std::span<char> record);

}  // namespace vorel::dbf
