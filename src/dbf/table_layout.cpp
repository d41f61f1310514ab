#include "dbf/table_layout.h"

#include <algorithm>
#include <cctype>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"

namespace vorel::dbf {

namespace {

[[noreturn]] void Corrupt(std::string_view table, const std::string& what) {
  throw CorruptTableError("Table " + std::string(table) + " is damaged: " + what);
}

bool KnownVersion(uint8_t v) {
  switch (v) {
    case 0x30:  // Visual FoxPro
    case 0x31:  // ... with an autoincrement field
    case 0x32:  // ... with varchar/varbinary/blob fields
    case 0x03:  // dBase III / FoxPro 2.x without memo
    case 0x83:  // dBase III with memo
    case 0xF5:  // FoxPro 2.x with memo
      return true;
    default:
      return false;
  }
}

bool KnownType(char t) {
  return std::string_view("CVQNFIBYDTLMGWP0").find(t) != std::string_view::npos;
}

std::string Hex(unsigned v) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[(v >> 4) & 15] + kDigits[v & 15];
}

// Field name for a message: printable ASCII only.
std::string Printable(std::string_view s) {
  std::string out;
  for (char c : s) out += (c >= 0x20 && c < 0x7F) ? c : '?';
  return out;
}

// The length a field of this type must have, or 0 when the type has a variable length.
uint32_t FixedLength(FieldType t, bool visualFoxPro) {
  switch (t) {
    case FieldType::kInteger:
      return 4;
    case FieldType::kDouble:
    case FieldType::kCurrency:
    case FieldType::kDateTime:
    case FieldType::kDate:
      return 8;
    case FieldType::kLogical:
      return 1;
    default:
      return 0;
  }
}

void CheckFieldLength(std::string_view table, const Field& f, bool visualFoxPro) {
  const std::string where = "field " + Printable(f.name) + " (" + static_cast<char>(f.type) + ") ";
  if (f.length == 0) Corrupt(table, where + "has length 0");
  if (uint32_t fixed = FixedLength(f.type, visualFoxPro); fixed != 0 && f.length != fixed)
    Corrupt(table, where + "has length " + std::to_string(f.length) + " instead of " + std::to_string(fixed));
  switch (f.type) {
    case FieldType::kNumeric:
    case FieldType::kFloat:
      if (f.length > 32) Corrupt(table, where + "is wider than 32");
      if (f.decimals > 0 && f.decimals + 1 >= f.length)
        Corrupt(table, where + "has more decimals than its width allows");
      break;
    case FieldType::kMemo:
    case FieldType::kGeneral:
    case FieldType::kBlob:
    case FieldType::kPicture:
      if (f.length != 4 && f.length != 10) Corrupt(table, where + "has length " + std::to_string(f.length));
      break;
    default:
      break;
  }
}

}  // namespace

bool TableLayout::hasMemoFields() const {
  return std::any_of(fields.begin(), fields.end(), [](const Field& f) { return f.isMemo(); });
}

const Field* TableLayout::FindField(std::string_view name) const {
  for (const Field& f : fields) {
    if (f.name.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(f.name[i])) ==
             std::toupper(static_cast<unsigned char>(name[i]));
    if (same) return &f;
  }
  return nullptr;
}

size_t StoredHeaderLength(std::span<const char> first, std::string_view tableName) {
  if (first.size() < kTableHeaderSize)
    Corrupt(tableName, "the header is truncated (" + std::to_string(first.size()) + " bytes)");
  return LoadLe16(first.data() + 8);
}

TableLayout ParseTableLayout(std::span<const char> header, std::string_view tableName) {
  const size_t headerLength = StoredHeaderLength(header, tableName);
  const char* h = header.data();
  TableLayout t;
  t.version = static_cast<uint8_t>(h[0]);
  if (!KnownVersion(t.version)) Corrupt(tableName, "unknown table version " + Hex(t.version));
  t.updateYear = static_cast<uint8_t>(h[1]);
  t.updateMonth = static_cast<uint8_t>(h[2]);
  t.updateDay = static_cast<uint8_t>(h[3]);
  t.recordCount = LoadLe32(h + 4);
  t.headerLength = static_cast<uint16_t>(headerLength);
  t.recordLength = LoadLe16(h + 10);
  t.tableFlags = static_cast<uint8_t>(h[28]);
  t.codePageMark = static_cast<uint8_t>(h[29]);
  const bool vfp = t.isVisualFoxPro();

  if (headerLength < kTableHeaderSize + 1)
    Corrupt(tableName, "header length " + std::to_string(headerLength) + " is too small");
  if (header.size() < headerLength)
    Corrupt(tableName, "the header is truncated (" + std::to_string(header.size()) + " of " +
                           std::to_string(headerLength) + " bytes)");
  if (t.recordLength < 2)
    Corrupt(tableName, "record length " + std::to_string(t.recordLength) + " is too small");

  // Field descriptors up to the 0x0D terminator, all inside the stored header length.
  size_t pos = kTableHeaderSize;
  uint32_t running = 1;
  while (true) {
    if (pos >= headerLength) Corrupt(tableName, "the field descriptors overrun the header (no terminator)");
    if (h[pos] == 0x0D) break;
    if (pos + kFieldDescriptorSize > headerLength)
      Corrupt(tableName, "the field descriptors overrun the header");
    const char* d = h + pos;
    Field f;
    const char* nameEnd = static_cast<const char*>(std::memchr(d, 0, 11));
    f.name.assign(d, nameEnd ? nameEnd : d + 11);
    if (f.name.empty()) Corrupt(tableName, "a field has no name");
    if (!KnownType(d[11]))
      Corrupt(tableName,
              "field " + Printable(f.name) + " has an unknown type " + Hex(static_cast<uint8_t>(d[11])));
    f.type = static_cast<FieldType>(d[11]);
    f.length = static_cast<uint8_t>(d[16]);
    f.decimals = static_cast<uint8_t>(d[17]);
    f.flags = vfp ? static_cast<uint8_t>(d[18]) : 0;
    if (f.type == FieldType::kCharacter && !vfp && f.decimals != 0) {
      // FoxPro 2.x / Clipper keep wide character fields' high length byte in the decimals byte; such fields
      // do not fit the one-byte length this layer works with.
      Corrupt(tableName, "field " + Printable(f.name) + " is a character field wider than 255");
    }
    if (f.type == FieldType::kNullFlags && t.nullFlagsIndex >= 0) Corrupt(tableName, "two _NullFlags fields");
    if (f.type == FieldType::kNullFlags) {
      if (!vfp) Corrupt(tableName, "a _NullFlags field in a table that is not a Visual FoxPro table");
      if (f.length == 0) Corrupt(tableName, "the _NullFlags field has length 0");
    } else {
      CheckFieldLength(tableName, f, vfp);
    }
    if (vfp && f.autoIncrement()) {
      f.autoIncrementNext = LoadLe32(d + 19);
      f.autoIncrementStep = static_cast<uint8_t>(d[23]);
    }
    f.offset = running;
    running += f.length;
    if (running > t.recordLength)
      Corrupt(tableName, "field " + Printable(f.name) + " runs past the record length " +
                             std::to_string(t.recordLength));
    if (f.type == FieldType::kNullFlags) t.nullFlagsIndex = static_cast<int>(t.allFields.size());
    t.allFields.push_back(std::move(f));
    pos += kFieldDescriptorSize;
  }
  if (t.allFields.empty()) Corrupt(tableName, "the table has no fields");
  if (running != t.recordLength)
    Corrupt(tableName, "record length " + std::to_string(t.recordLength) + " disagrees with the fields (" +
                           std::to_string(running) + ")");
  if (vfp) {
    const size_t linkStart = pos + 1;
    const size_t linkEnd = std::min(headerLength, linkStart + kBacklinkSize);
    if (linkStart < linkEnd) {
      const char* b = h + linkStart;
      const char* nul = static_cast<const char*>(std::memchr(b, 0, linkEnd - linkStart));
      t.backlink.assign(b, nul ? nul : h + linkEnd);
    }
  }

  // _NullFlags bits: per field in order, a varlength bit for V/Q, then a null bit for a nullable field.
  uint32_t nullFlagsOffset = 0;
  uint32_t bitCapacity = 0;
  if (t.nullFlagsIndex >= 0) {
    nullFlagsOffset = t.allFields[t.nullFlagsIndex].offset;
    bitCapacity = 8u * t.allFields[t.nullFlagsIndex].length;
  }
  uint32_t bit = 0;
  for (Field& f : t.allFields) {
    if (f.type == FieldType::kNullFlags) continue;
    if (t.nullFlagsIndex >= 0) {
      if (f.type == FieldType::kVarchar || f.type == FieldType::kVarbinary)
        f.varLengthBit = static_cast<int>(bit++);
      if (f.flags & kFieldNullable) f.nullBit = static_cast<int>(bit++);
      f.nullFlagsOffset = nullFlagsOffset;
    }
    const bool text = f.isText() || f.type == FieldType::kMemo;
    f.oemText = text && !f.binary() && f.type != FieldType::kVarbinary && t.codePageMark == kCodePage866;
  }
  if (bit > bitCapacity)
    Corrupt(tableName, "the _NullFlags field is too short for " + std::to_string(bit) + " flags");
  for (const Field& f : t.allFields)
    if (f.type != FieldType::kNullFlags) t.fields.push_back(f);
  return t;
}

}  // namespace vorel::dbf
