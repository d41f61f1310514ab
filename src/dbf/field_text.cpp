#include "dbf/field_text.h"

#include <cstdio>

#include "dbf/field_decode.h"
#include "platform/calendar.h"

namespace vorel::dbf {
namespace {

std::string DateDigits(int64_t julianDay) {
  const CivilDate d = CivilFromJulianDay(julianDay);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", d.year, d.month, d.day);
  return text;
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace

std::string FieldText(const Field& field, std::string_view record) {
  if (IsNull(field, record)) return ".NULL.";
  switch (field.type) {
    case FieldType::kCharacter:
    case FieldType::kVarchar:
    case FieldType::kVarbinary: {
      std::string text = DecodeTextAnsi(field, record);
      text.erase(text.find_last_not_of(' ') + 1);
      return text;
    }
    case FieldType::kNumeric:
    case FieldType::kFloat:
      return Trimmed(FieldBytes(field, record));
    case FieldType::kInteger:
      return std::to_string(DecodeInteger(field, record));
    case FieldType::kCurrency: {
      const int64_t v = DecodeCurrency(field, record);
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      char text[32];
      std::snprintf(text, sizeof text, "%s%llu.%04llu", v < 0 ? "-" : "",
                    static_cast<unsigned long long>(magnitude / 10000),
                    static_cast<unsigned long long>(magnitude % 10000));
      return text;
    }
    case FieldType::kDouble: {
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", DecodeDouble(field, record));
      return text;
    }
    case FieldType::kDate: {
      const auto day = DecodeDate(field, record);
      return day ? DateDigits(*day) : std::string();
    }
    case FieldType::kDateTime: {
      const auto value = DecodeDateTime(field, record);
      if (!value) return {};
      const int32_t s = value->milliseconds / 1000;
      char time[16];
      std::snprintf(time, sizeof time, " %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
      return DateDigits(value->julianDay) + time;
    }
    case FieldType::kLogical: {
      const auto value = DecodeLogical(field, record);
      return value ? (*value ? "T" : "F") : "";
    }
    case FieldType::kMemo:
    case FieldType::kGeneral:
    case FieldType::kBlob:
    case FieldType::kPicture: {
      const uint32_t block = DecodeMemoBlock(field, record);
      return block == 0 ? std::string() : "memo " + std::to_string(block);
    }
    case FieldType::kNullFlags:
      break;
  }
  return {};
}

}  // namespace vorel::dbf
