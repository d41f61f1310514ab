#include "dbf/field_encode.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"
#include "platform/calendar.h"
#include "platform/code_page.h"

namespace vorel::dbf {

namespace {

[[noreturn]] void Mismatch(const Field& field) {
  throw FieldValueError("Data type mismatch: field " + field.name + " of type " +
                        static_cast<char>(field.type));
}

[[noreturn]] void Overflow(const Field& field) {
  throw NumericOverflowError("Numeric overflow: the value does not fit field " + field.name);
}

char* FieldStart(const Field& field, std::span<char> record) {
  if (static_cast<size_t>(field.offset) + field.length > record.size())
    throw FieldValueError("Field " + field.name + " lies outside the record");
  return record.data() + field.offset;
}

void SetBit(const Field& field, int bit, bool on, std::span<char> record) {
  if (bit < 0) return;
  const size_t at = field.nullFlagsOffset + static_cast<size_t>(bit >> 3);
  if (at >= record.size()) throw FieldValueError("Field " + field.name + " lies outside the record");
  const auto mask = static_cast<unsigned char>(1u << (bit & 7));
  auto& byte = reinterpret_cast<unsigned char&>(record[at]);
  byte = on ? (byte | mask) : (byte & ~mask);
}

// Rounds the decimal digits "intPart.fracPart" to `decimals` places, half away from zero.
std::string RoundDecimal(std::string intPart, std::string fracPart, int decimals) {
  if (static_cast<int>(fracPart.size()) <= decimals) {
    fracPart.append(static_cast<size_t>(decimals) - fracPart.size(), '0');
  } else {
    const bool up = fracPart[static_cast<size_t>(decimals)] >= '5';
    fracPart.resize(static_cast<size_t>(decimals));
    if (up) {
      std::string all = intPart + fracPart;
      int i = static_cast<int>(all.size()) - 1;
      while (i >= 0 && all[static_cast<size_t>(i)] == '9') all[static_cast<size_t>(i--)] = '0';
      if (i < 0)
        all.insert(all.begin(), '1');
      else
        ++all[static_cast<size_t>(i)];
      intPart = all.substr(0, all.size() - fracPart.size());
      fracPart = all.substr(all.size() - fracPart.size());
    }
  }
  size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  return decimals > 0 ? intPart + "." + fracPart : intPart;
}

// Writes the numeric text right-aligned; fewer decimals when only that makes it fit; else overflow.
void WriteNumericText(const Field& field, bool negative, const std::string& intPart,
                      const std::string& fracPart, char* out) {
  for (int decimals = field.decimals; decimals >= 0; --decimals) {
    std::string text = RoundDecimal(intPart, fracPart, decimals);
    // A zero integer part is left out when only that makes the value fit (".50", "-.5"), as STR() does.
    if (text.size() + (negative ? 1 : 0) > field.length && text.size() > 1 && text[0] == '0' &&
        text[1] == '.')
      text.erase(0, 1);
    if (negative && text.find_first_not_of("0.") != std::string::npos) text.insert(text.begin(), '-');
    if (text.size() <= field.length) {
      std::memset(out, ' ', field.length);
      std::memcpy(out + field.length - text.size(), text.data(), text.size());
      return;
    }
    // Dropping decimals cannot help once the integer part alone is too wide.
    if (decimals == 0) break;
  }
  Overflow(field);
}

// The shortest decimal digits of |value| that read back as the same double, split at the point.
std::pair<std::string, std::string> DecimalDigits(double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
  std::string_view digits(buf, ec == std::errc() ? static_cast<size_t>(end - buf) : 0);
  const size_t point = digits.find('.');
  return {std::string(digits.substr(0, point)),
          std::string(point == std::string_view::npos ? std::string_view() : digits.substr(point + 1))};
}

void StoreNumericText(const Field& field, double value, std::span<char> record) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e20) Overflow(field);
  const auto [intPart, fracPart] = DecimalDigits(value);
  char* out = FieldStart(field, record);
  WriteNumericText(field, std::signbit(value), intPart, fracPart, out);
}

void StoreLe(const Field& field, std::span<char> record, uint64_t bits) {
  char* out = FieldStart(field, record);
  if (field.length == 4)
    StoreLe32(out, static_cast<uint32_t>(bits));
  else
    StoreLe64(out, bits);
}

void FillBlank(const Field& field, char* out) {
  switch (field.type) {
    case FieldType::kCharacter:
    case FieldType::kVarchar:
    case FieldType::kNumeric:
    case FieldType::kFloat:
    case FieldType::kDate:
    case FieldType::kLogical:
      std::memset(out, ' ', field.length);
      break;
    case FieldType::kMemo:
    case FieldType::kGeneral:
    case FieldType::kBlob:
    case FieldType::kPicture:
      std::memset(out, field.length == 10 ? ' ' : 0, field.length);
      break;
    default:
      std::memset(out, 0, field.length);
      break;
  }
}

}  // namespace

void EncodeText(const Field& field, std::string_view ansiText, std::span<char> record) {
  if (!field.isText()) Mismatch(field);
  char* out = FieldStart(field, record);
  const size_t n = std::min<size_t>(ansiText.size(), field.length);
  std::string converted;
  std::string_view text = ansiText.substr(0, n);
  if (field.oemText) {
    converted = AnsiToOem(text);
    text = converted;
  }
  if (field.type == FieldType::kCharacter || field.varLengthBit < 0) {
    std::memset(out, field.type == FieldType::kVarbinary ? 0 : ' ', field.length);
    std::memcpy(out, text.data(), n);
  } else {
    // Varchar: a shorter value keeps its length in the field's last byte and sets the varlength bit.
    const bool shorter = n < field.length;
    std::memset(out, field.type == FieldType::kVarbinary ? 0 : ' ', field.length);
    std::memcpy(out, text.data(), n);
    if (shorter) out[field.length - 1] = static_cast<char>(n);
    SetBit(field, field.varLengthBit, shorter, record);
  }
  SetBit(field, field.nullBit, false, record);
}

void EncodeNumber(const Field& field, double value, std::span<char> record) {
  switch (field.type) {
    case FieldType::kNumeric:
    case FieldType::kFloat:
      StoreNumericText(field, value, record);
      break;
    case FieldType::kInteger: {
      if (!std::isfinite(value)) Overflow(field);
      const double r = std::round(value);
      if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) Overflow(field);
      StoreLe(field, record, static_cast<uint32_t>(static_cast<int32_t>(r)));
      break;
    }
    case FieldType::kDouble: {
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      StoreLe(field, record, bits);
      break;
    }
    case FieldType::kCurrency: {
      // Rounded on the decimal digits, as for N fields: 12.34565 is 12.3457, not the binary 12.34564999..
      if (!std::isfinite(value) || std::fabs(value) >= 9.2e14) Overflow(field);
      const auto [intPart, fracPart] = DecimalDigits(value);
      const std::string digits = RoundDecimal(intPart, fracPart, 4);
      int64_t scaled = 0;
      for (char c : digits)
        if (c != '.') scaled = scaled * 10 + (c - '0');
      StoreLe(field, record, static_cast<uint64_t>(std::signbit(value) ? -scaled : scaled));
      break;
    }
    default:
      Mismatch(field);
  }
  SetBit(field, field.nullBit, false, record);
}

void EncodeInteger(const Field& field, int64_t value, std::span<char> record) {
  switch (field.type) {
    case FieldType::kNumeric:
    case FieldType::kFloat: {
      char buf[32];
      const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
      auto end = std::to_chars(buf, buf + sizeof buf, magnitude).ptr;
      WriteNumericText(field, value < 0, std::string(buf, end), std::string(), FieldStart(field, record));
      break;
    }
    case FieldType::kInteger:
      if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        Overflow(field);
      StoreLe(field, record, static_cast<uint32_t>(static_cast<int32_t>(value)));
      break;
    case FieldType::kCurrency:
      if (value > std::numeric_limits<int64_t>::max() / 10000 ||
          value < std::numeric_limits<int64_t>::min() / 10000)
        Overflow(field);
      StoreLe(field, record, static_cast<uint64_t>(value * 10000));
      break;
    case FieldType::kDouble:
      EncodeNumber(field, static_cast<double>(value), record);
      return;
    default:
      Mismatch(field);
  }
  SetBit(field, field.nullBit, false, record);
}

void EncodeCurrency(const Field& field, int64_t scaledValue, std::span<char> record) {
  if (field.type != FieldType::kCurrency) Mismatch(field);
  StoreLe(field, record, static_cast<uint64_t>(scaledValue));
  SetBit(field, field.nullBit, false, record);
}

void EncodeDate(const Field& field, std::optional<int64_t> julianDay, std::span<char> record) {
  if (field.type == FieldType::kDateTime) {
    EncodeDateTime(
        field, julianDay ? std::optional<DateTimeValue>(DateTimeValue{*julianDay, 0}) : std::nullopt, record);
    return;
  }
  if (field.type != FieldType::kDate) Mismatch(field);
  char text[9] = "        ";
  if (julianDay) {
    const CivilDate d = CivilFromJulianDay(*julianDay);
    if (!IsValidDate(d.year, d.month, d.day))
      throw FieldValueError("Date out of range for field " + field.name);
    const int parts[] = {d.year / 100, d.year % 100, d.month, d.day};
    for (int i = 0; i < 4; ++i) {
      text[2 * i] = static_cast<char>('0' + parts[i] / 10);
      text[2 * i + 1] = static_cast<char>('0' + parts[i] % 10);
    }
  }
  std::memcpy(FieldStart(field, record), text, 8);
  SetBit(field, field.nullBit, false, record);
}

void EncodeDateTime(const Field& field, std::optional<DateTimeValue> value, std::span<char> record) {
  if (field.type == FieldType::kDate) {
    EncodeDate(field, value ? std::optional<int64_t>(value->julianDay) : std::nullopt, record);
    return;
  }
  if (field.type != FieldType::kDateTime) Mismatch(field);
  char* out = FieldStart(field, record);
  if (!value) {
    std::memset(out, 0, 8);
  } else {
    if (value->julianDay <= 0 || value->julianDay > std::numeric_limits<int32_t>::max() ||
        value->milliseconds < 0 || value->milliseconds >= 86400000)
      throw FieldValueError("Datetime out of range for field " + field.name);
    StoreLe32(out, static_cast<uint32_t>(value->julianDay));
    StoreLe32(out + 4, static_cast<uint32_t>(value->milliseconds));
  }
  SetBit(field, field.nullBit, false, record);
}

void EncodeLogical(const Field& field, std::optional<bool> value, std::span<char> record) {
  if (field.type != FieldType::kLogical) Mismatch(field);
  *FieldStart(field, record) = value ? (*value ? 'T' : 'F') : ' ';
  SetBit(field, field.nullBit, false, record);
}

void EncodeMemoBlock(const Field& field, uint32_t block, std::span<char> record) {
  if (!field.isMemo()) Mismatch(field);
  char* out = FieldStart(field, record);
  if (field.length == 4) {
    StoreLe32(out, block);
  } else {
    std::memset(out, ' ', field.length);
    if (block != 0) {
      char buf[16];
      auto end = std::to_chars(buf, buf + sizeof buf, block).ptr;
      const size_t n = static_cast<size_t>(end - buf);
      std::memcpy(out + field.length - n, buf, n);
    }
  }
  SetBit(field, field.nullBit, false, record);
}

void EncodeNull(const Field& field, std::span<char> record) {
  if (!field.nullable()) throw FieldValueError("Field " + field.name + " does not accept null values");
  char* out = FieldStart(field, record);
  FillBlank(field, out);
  if (field.varLengthBit >= 0) {
    out[field.length - 1] = 0;
    SetBit(field, field.varLengthBit, true, record);
  }
  SetBit(field, field.nullBit, true, record);
}

void EncodeBlank(const Field& field, std::span<char> record) {
  char* out = FieldStart(field, record);
  FillBlank(field, out);
  if (field.varLengthBit >= 0) {
    out[field.length - 1] = 0;
    SetBit(field, field.varLengthBit, true, record);
  }
  SetBit(field, field.nullBit, false, record);
}

}  // namespace vorel::dbf
