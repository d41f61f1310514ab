#include <algorithm>
#include <cctype>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"
#include "dbf/table_layout.h"

namespace vorel::dbf {

namespace {

[[noreturn]] void Invalid(const std::string& what) {
  throw FieldValueError("Invalid table structure: " + what);
}

std::string CheckedName(const std::string& name) {
  if (name.empty() || name.size() > 10) Invalid("field name '" + name + "' must have 1 to 10 characters");
  std::string upper;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || c == '_') || u >= 0x80)
      Invalid("field name '" + name + "' has an invalid character");
    upper += static_cast<char>(std::toupper(u));
  }
  if (std::isdigit(static_cast<unsigned char>(upper[0])))
    Invalid("field name '" + name + "' starts with a digit");
  return upper;
}

// Length and decimals a new field gets, checked against its type.
void FieldSize(const FieldSpec& f, uint8_t& length, uint8_t& decimals) {
  decimals = 0;
  switch (f.type) {
    case FieldType::kCharacter:
    case FieldType::kVarchar:
    case FieldType::kVarbinary:
      if (f.length < 1 || f.length > 254) Invalid("field " + f.name + " needs a length of 1 to 254");
      length = f.length;
      return;
    case FieldType::kNumeric:
    case FieldType::kFloat:
      if (f.length < 1 || f.length > 20) Invalid("field " + f.name + " needs a width of 1 to 20");
      if (f.decimals > 0 && f.decimals + 1 >= f.length) Invalid("field " + f.name + " has too many decimals");
      length = f.length;
      decimals = f.decimals;
      return;
    case FieldType::kInteger:
    case FieldType::kMemo:
    case FieldType::kGeneral:
    case FieldType::kBlob:
      length = 4;
      return;
    case FieldType::kDouble:
      length = 8;
      decimals = std::min<uint8_t>(f.decimals, 18);
      return;
    case FieldType::kCurrency:
      length = 8;
      decimals = 4;
      return;
    case FieldType::kDate:
    case FieldType::kDateTime:
      length = 8;
      return;
    case FieldType::kLogical:
      length = 1;
      return;
    default:
      Invalid("field " + f.name + " has a type that cannot be created");
  }
}

uint8_t FieldFlags(const FieldSpec& f) {
  uint8_t flags = f.nullable ? kFieldNullable : 0;
  switch (f.type) {
    case FieldType::kInteger:
    case FieldType::kDouble:
    case FieldType::kCurrency:
    case FieldType::kDateTime:
    case FieldType::kBlob:
    case FieldType::kVarbinary:
      flags |= kFieldBinary;
      break;
    case FieldType::kCharacter:
    case FieldType::kVarchar:
    case FieldType::kMemo:
      if (f.binary) flags |= kFieldBinary;
      break;
    default:
      break;
  }
  return flags;
}

}  // namespace

std::string BuildTableHeader(std::span<const FieldSpec> fields, uint8_t codePageMark, int year, int month,
                             int day) {
  if (fields.empty()) Invalid("a table needs at least one field");
  std::vector<std::string> names;
  uint32_t nullBits = 0;
  bool vfp9 = false, memo = false;
  for (const FieldSpec& f : fields) {
    std::string name = CheckedName(f.name);
    if (std::find(names.begin(), names.end(), name) != names.end())
      Invalid("field " + name + " appears twice");
    names.push_back(name);
    if (f.type == FieldType::kVarchar || f.type == FieldType::kVarbinary) ++nullBits, vfp9 = true;
    if (f.type == FieldType::kBlob) vfp9 = true;
    if (f.nullable) ++nullBits;
    if (f.type == FieldType::kMemo || f.type == FieldType::kGeneral || f.type == FieldType::kBlob)
      memo = true;
  }
  const size_t count = fields.size() + (nullBits > 0 ? 1 : 0);
  if (count > 255) Invalid("a table has at most 255 fields");
  const size_t headerLength = kTableHeaderSize + kFieldDescriptorSize * count + 1 + kBacklinkSize;
  std::string h(headerLength, '\0');
  h[0] = static_cast<char>(vfp9 ? 0x32 : 0x30);
  h[1] = static_cast<char>(year % 100);
  h[2] = static_cast<char>(month);
  h[3] = static_cast<char>(day);
  StoreLe16(&h[8], static_cast<uint16_t>(headerLength));
  h[28] = static_cast<char>(memo ? kTableHasMemo : 0);
  h[29] = static_cast<char>(codePageMark);

  uint32_t offset = 1;
  auto addDescriptor = [&](size_t index, const std::string& name, char type, uint8_t length, uint8_t decimals,
                           uint8_t flags) {
    char* d = &h[kTableHeaderSize + kFieldDescriptorSize * index];
    std::copy(name.begin(), name.end(), d);
    d[11] = type;
    StoreLe32(d + 12, offset);
    d[16] = static_cast<char>(length);
    d[17] = static_cast<char>(decimals);
    d[18] = static_cast<char>(flags);
    offset += length;
  };
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t length = 0, decimals = 0;
    FieldSize(fields[i], length, decimals);
    addDescriptor(i, names[i], static_cast<char>(fields[i].type), length, decimals, FieldFlags(fields[i]));
  }
  if (nullBits > 0)
    addDescriptor(fields.size(), "_NullFlags", '0', static_cast<uint8_t>((nullBits + 7) / 8), 0,
                  kFieldSystem | kFieldBinary);
  if (offset > 65500) Invalid("records would be longer than 65500 bytes");
  StoreLe16(&h[10], static_cast<uint16_t>(offset));
  h[kTableHeaderSize + kFieldDescriptorSize * count] = 0x0D;
  return h;
}

}  // namespace vorel::dbf
