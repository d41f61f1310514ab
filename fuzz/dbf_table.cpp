// Fuzzes the table header parser and the field decoders and encoders: the input is the image of a table file
// (header, field descriptors, records). Every input must give a layout or a clean error, and every record
// the file holds must decode without reading outside it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dbf/dbf_errors.h"
#include "dbf/field_decode.h"
#include "dbf/field_encode.h"
#include "dbf/table_layout.h"

using namespace vorel::dbf;

namespace {

void DecodeEveryField(const TableLayout& layout, std::string_view record) {
  for (const Field& f : layout.fields) {
    (void)IsNull(f, record);
    (void)FieldBytes(f, record);
    switch (f.type) {
      case FieldType::kCharacter:
      case FieldType::kVarchar:
      case FieldType::kVarbinary:
        (void)DecodeTextAnsi(f, record);
        break;
      case FieldType::kNumeric:
      case FieldType::kFloat:
      case FieldType::kInteger:
      case FieldType::kDouble:
      case FieldType::kCurrency:
        (void)DecodeNumber(f, record);
        break;
      case FieldType::kDate:
      case FieldType::kDateTime:
        (void)DecodeDate(f, record);
        (void)DecodeDateTime(f, record);
        break;
      case FieldType::kLogical:
        (void)DecodeLogical(f, record);
        break;
      default:
        (void)DecodeMemoBlock(f, record);
        break;
    }
  }
}

// Writes a value into every field of a copy of the record; encoders must stay inside it too.
void EncodeEveryField(const TableLayout& layout, std::string_view record) {
  std::string copy(record);
  std::span<char> bytes(copy);
  for (const Field& f : layout.allFields) {
    try {
      EncodeBlank(f, bytes);
      if (f.nullable()) EncodeNull(f, bytes);
      if (f.isText()) EncodeText(f, record.substr(0, 40), bytes);
      if (f.type == FieldType::kNumeric || f.type == FieldType::kFloat || f.type == FieldType::kInteger ||
          f.type == FieldType::kCurrency)
        EncodeNumber(f, -12345.678, bytes);
      if (f.type == FieldType::kDate || f.type == FieldType::kDateTime) EncodeDate(f, 2460000, bytes);
      if (f.isMemo()) EncodeMemoBlock(f, 12345, bytes);
    } catch (const FieldValueError&) {
    }
  }
  DecodeEveryField(layout, copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const char> file(reinterpret_cast<const char*>(data), size);
  try {
    const size_t headerLength = StoredHeaderLength(file, "fuzz");
    const TableLayout layout =
        ParseTableLayout(file.first(std::min(size, std::max<size_t>(headerLength, 32))), "fuzz");
    std::string_view body(file.data() + std::min<size_t>(layout.headerLength, size),
                          size - std::min<size_t>(layout.headerLength, size));
    for (size_t n = 0; n < 64 && (n + 1) * layout.recordLength <= body.size(); ++n) {
      std::string_view record = body.substr(n * layout.recordLength, layout.recordLength);
      DecodeEveryField(layout, record);
      EncodeEveryField(layout, record);
    }
  } catch (const CorruptTableError&) {
  }
  return 0;
}
