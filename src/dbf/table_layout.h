#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/field.h"

// The header of a table file decoded and checked: versions, flags, code page mark, field list.
namespace vorel::dbf {

// Header byte 28.
inline constexpr uint8_t kTableHasStructuralIndex = 0x01;
inline constexpr uint8_t kTableHasMemo = 0x02;
inline constexpr uint8_t kTableIsDatabase = 0x04;

// Header byte 29.
inline constexpr uint8_t kCodePage1251 = 0xC9;
inline constexpr uint8_t kCodePage866 = 0x65;

inline constexpr size_t kTableHeaderSize = 32;
inline constexpr size_t kFieldDescriptorSize = 32;
inline constexpr size_t kBacklinkSize = 263;
inline constexpr char kRecordActive = ' ';
inline constexpr char kRecordDeleted = '*';
inline constexpr char kEndOfFile = 0x1A;

struct TableLayout {
  uint8_t version = 0;     // byte 0: 0x30/0x31/0x32 VFP, 0x03/0x83/0xF5 ... dBase III / FoxPro 2
  uint8_t updateYear = 0;  // bytes 1..3 as stored (VFP: year mod 100)
  uint8_t updateMonth = 0;
  uint8_t updateDay = 0;
  uint32_t recordCount = 0;   // bytes 4..7 as stored
  uint16_t headerLength = 0;  // offset of record 1
  uint16_t recordLength = 0;  // deleted flag + all fields
  uint8_t tableFlags = 0;
  uint8_t codePageMark = 0;
  std::vector<Field> fields;     // visible fields in column order (no _NullFlags)
  int nullFlagsIndex = -1;       // index into allFields of _NullFlags, -1 when absent
  std::vector<Field> allFields;  // every descriptor in file order, _NullFlags included
  std::string backlink;          // owning database container, empty for a free table

  bool isVisualFoxPro() const { return version == 0x30 || version == 0x31 || version == 0x32; }
  bool hasStructuralIndex() const { return (tableFlags & kTableHasStructuralIndex) != 0; }
  bool hasMemoFlag() const { return (tableFlags & kTableHasMemo) != 0; }
  // True when some field keeps its value in the memo file.
  bool hasMemoFields() const;
  // A visible field by name, letter case ignored; nullptr when the table has no such field.
  const Field* FindField(std::string_view name) const;
  // Offset of record `recno` (1-based) in the file.
  uint64_t RecordOffset(uint32_t recno) const {
    return headerLength + static_cast<uint64_t>(recno - 1) * recordLength;
  }
};

// Decodes and checks the header and field descriptors. `header` holds the file's first bytes (at least the
// whole header for a complete result; fewer bytes give CorruptTableError). `tableName` is used in messages.
// Never reads outside `header`; every inconsistency (unknown version or field type, descriptors that overrun
// the header, fields that overrun the record, lengths that disagree) is a CorruptTableError.
TableLayout ParseTableLayout(std::span<const char> header, std::string_view tableName);

// How many header bytes ParseTableLayout needs: the stored header length (bytes 8..9) once the first 32 bytes
// are known. Throws CorruptTableError when `first` is shorter than 32 bytes.
size_t StoredHeaderLength(std::span<const char> first, std::string_view tableName);

// Builds the header bytes (header, descriptors, terminator, backlink) of a new empty VFP table.
// Throws FieldValueError for an invalid field list (bad name, length, duplicate, too many fields).
std::string BuildTableHeader(std::span<const FieldSpec> fields, uint8_t codePageMark, int year, int month,
                             int day);

}  // namespace vorel::dbf
