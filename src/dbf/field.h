#pragma once

#include <cstdint>
#include <string>

// Field descriptors of a table: what the header says about each column, plus the positions the decoders need.
namespace vorel::dbf {

// The type letters a table header stores for its fields.
enum class FieldType : char {
  kCharacter = 'C',
  kVarchar = 'V',    // VFP 9: shorter values keep their length in the last byte
  kVarbinary = 'Q',  // VFP 9: as V, never code-page converted
  kNumeric = 'N',    // ASCII digits, right-aligned
  kFloat = 'F',      // same text as N
  kInteger = 'I',    // int32 little-endian
  kDouble = 'B',     // IEEE double little-endian
  kCurrency = 'Y',   // int64 little-endian, value x 10000
  kDate = 'D',       // "YYYYMMDD", blank = 8 spaces
  kDateTime = 'T',   // int32 Julian day + int32 milliseconds since midnight, empty = 8 zero bytes
  kLogical = 'L',    // 'T'/'F', blank = space
  kMemo = 'M',       // uint32 block number in the memo file
  kGeneral = 'G',
  kBlob = 'W',
  kPicture = 'P',
  kNullFlags = '0',  // the hidden _NullFlags field
};

// Flag bits of a field descriptor (byte 18).
inline constexpr uint8_t kFieldSystem = 0x01;
inline constexpr uint8_t kFieldNullable = 0x02;
inline constexpr uint8_t kFieldBinary = 0x04;
inline constexpr uint8_t kFieldAutoIncrement = 0x08;

struct Field {
  std::string name;  // as stored: upper case in practice, at most 10 characters
  FieldType type = FieldType::kCharacter;
  uint32_t offset = 0;  // position inside the record; byte 0 of a record is the deleted flag
  uint8_t length = 0;
  uint8_t decimals = 0;
  uint8_t flags = 0;
  uint32_t autoIncrementNext = 0;
  uint8_t autoIncrementStep = 0;

  // Positions inside the hidden _NullFlags field (absolute bit numbers), -1 when the field has none.
  int nullBit = -1;
  int varLengthBit = -1;
  uint32_t nullFlagsOffset = 0;  // record offset of _NullFlags (valid when a bit above is >= 0)
  bool oemText = false;          // text bytes are stored in code page 866 and need converting to 1251

  bool nullable() const { return nullBit >= 0; }
  bool binary() const { return (flags & kFieldBinary) != 0; }
  bool autoIncrement() const { return (flags & kFieldAutoIncrement) != 0; }
  bool isText() const {
    return type == FieldType::kCharacter || type == FieldType::kVarchar || type == FieldType::kVarbinary;
  }
  bool isMemo() const {
    return type == FieldType::kMemo || type == FieldType::kGeneral || type == FieldType::kBlob ||
           type == FieldType::kPicture;
  }
};

// A field of a table to be created. Length and decimals are taken only where the type needs them (C, V, Q:
// 1..254; N, F: 1..20 with decimals < length); fixed-size types get their own length.
struct FieldSpec {
  std::string name;  // 1..10 characters of A-Z, 0-9, _ ; stored upper case
  FieldType type = FieldType::kCharacter;
  uint8_t length = 0;
  uint8_t decimals = 0;
  bool nullable = false;
  bool binary = false;  // NOCPTRANS for C, V, M
};

}  // namespace vorel::dbf
