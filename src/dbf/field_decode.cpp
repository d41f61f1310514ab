#include "dbf/field_decode.h"

#include <cmath>
#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"
#include "platform/calendar.h"
#include "platform/code_page.h"

namespace vorel::dbf {

namespace {

[[noreturn]] void WrongType(const Field& field, const char* wanted) {
  throw FieldValueError("Field " + field.name + " of type " + static_cast<char>(field.type) + " read as " +
                        wanted);
}

constexpr double kPowersOf10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

namespace decode_detail {

NumericValue ParseNumericText(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i == s.size()) return {0, true};
  bool negative = false;
  if (s[i] == '-' || s[i] == '+') negative = s[i++] == '-';
  uint64_t mantissa = 0;
  int digits = 0, scale = 0;
  double big = 0;  // used once more than 19 significant digits appear
  bool point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    if (digits < 19) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
    } else {
      if (digits == 19) big = static_cast<double>(mantissa);
      big = big * 10 + (c - '0');
    }
    ++digits;
    if (point) ++scale;
  }
  double value = digits > 19 ? big : static_cast<double>(mantissa);
  if (scale > 0) value = scale <= 22 ? value / kPowersOf10[scale] : value / std::pow(10.0, scale);
  return {negative ? -value : value, false};
}

NumericValue DecodeNumericText(const Field& field, std::string_view record) {
  if (field.type != FieldType::kNumeric && field.type != FieldType::kFloat) [[unlikely]]
    return DecodeNumericOtherType(field, record);
  const std::string_view s = FieldBytes(field, record);
  double whole;
  if (field.decimals == 0 && ParseWholeNumber(s.data(), static_cast<unsigned>(s.size()), whole))
    return {whole, false};
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i == s.size()) return {0, true};
  const bool negative = s[i] == '-';
  if (negative || s[i] == '+') ++i;
  uint64_t mantissa = 0;
  int digits = 0, point = -1;
  for (; i < s.size(); ++i) {
    const auto c = static_cast<unsigned>(static_cast<unsigned char>(s[i])) - '0';
    if (c <= 9) {
      mantissa = mantissa * 10 + c;
      ++digits;
    } else if (s[i] == '.' && point < 0) {
      point = digits;
    } else {
      break;
    }
  }
  const int scale = point < 0 ? 0 : digits - point;
  if (digits > 15 || scale > 11) [[unlikely]]
    return ParseNumericText(s);
  // Both operands are exact, so the quotient is the correctly rounded value of the text.
  double value = static_cast<double>(mantissa);
  if (scale != 0) value /= kPowersOf10[scale];
  return {negative ? -value : value, false};
}

void ThrowOutsideRecord(const Field& field) {
  throw FieldValueError("Field " + field.name + " lies outside the record");
}

std::string_view DecodeVariableText(const Field& field, std::string_view record) {
  std::string_view bytes = FieldBytes(field, record);
  switch (field.type) {
    case FieldType::kCharacter:
      return bytes;
    case FieldType::kVarchar:
    case FieldType::kVarbinary: {
      if (field.varLengthBit < 0) return bytes;
      const size_t at = field.nullFlagsOffset + static_cast<size_t>(field.varLengthBit >> 3);
      if (at >= record.size()) ThrowOutsideRecord(field);
      const bool shorter = (static_cast<unsigned char>(record[at]) >> (field.varLengthBit & 7)) & 1;
      if (!shorter) return bytes;
      // The last byte holds the length; it can never exceed the bytes before it.
      const size_t length = static_cast<unsigned char>(bytes.back());
      return bytes.substr(0, length < bytes.size() ? length : bytes.size() - 1);
    }
    default:
      WrongType(field, "text");
  }
}

NumericValue DecodeNumericOtherType(const Field& field, std::string_view) {
  WrongType(field, "numeric");
}

std::optional<int64_t> DecodeDateOtherType(const Field& field, std::string_view record) {
  if (field.type != FieldType::kDateTime) WrongType(field, "date");
  auto dt = DecodeDateTime(field, record);
  if (!dt) return std::nullopt;
  return dt->julianDay;
}

}  // namespace decode_detail

bool IsNull(const Field& field, std::string_view record) {
  if (field.nullBit < 0) return false;
  const size_t at = field.nullFlagsOffset + static_cast<size_t>(field.nullBit >> 3);
  if (at >= record.size()) throw FieldValueError("Field " + field.name + " lies outside the record");
  return (static_cast<unsigned char>(record[at]) >> (field.nullBit & 7)) & 1;
}

std::string DecodeTextAnsi(const Field& field, std::string_view record) {
  std::string_view text = DecodeText(field, record);
  return field.oemText ? OemToAnsi(text) : std::string(text);
}

int32_t DecodeInteger(const Field& field, std::string_view record) {
  if (field.type != FieldType::kInteger) WrongType(field, "integer");
  return static_cast<int32_t>(LoadLe32(FieldBytes(field, record).data()));
}

double DecodeDouble(const Field& field, std::string_view record) {
  if (field.type != FieldType::kDouble) WrongType(field, "double");
  const uint64_t bits = LoadLe64(FieldBytes(field, record).data());
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

int64_t DecodeCurrency(const Field& field, std::string_view record) {
  if (field.type != FieldType::kCurrency) WrongType(field, "currency");
  return static_cast<int64_t>(LoadLe64(FieldBytes(field, record).data()));
}

double DecodeNumber(const Field& field, std::string_view record) {
  switch (field.type) {
    case FieldType::kNumeric:
    case FieldType::kFloat:
      return DecodeNumeric(field, record).value;
    case FieldType::kInteger:
      return DecodeInteger(field, record);
    case FieldType::kDouble:
      return DecodeDouble(field, record);
    case FieldType::kCurrency:
      return static_cast<double>(DecodeCurrency(field, record)) / 10000.0;
    default:
      WrongType(field, "number");
  }
}

std::optional<DateTimeValue> DecodeDateTime(const Field& field, std::string_view record) {
  if (field.type == FieldType::kDate) {
    auto day = DecodeDate(field, record);
    if (!day) return std::nullopt;
    return DateTimeValue{*day, 0};
  }
  if (field.type != FieldType::kDateTime) WrongType(field, "datetime");
  const char* p = FieldBytes(field, record).data();
  const auto day = static_cast<int32_t>(LoadLe32(p));
  if (day == 0) return std::nullopt;
  return DateTimeValue{day, static_cast<int32_t>(LoadLe32(p + 4))};
}

std::optional<bool> DecodeLogical(const Field& field, std::string_view record) {
  if (field.type != FieldType::kLogical) WrongType(field, "logical");
  switch (FieldBytes(field, record)[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
      return false;
    default:
      return std::nullopt;
  }
}

uint32_t DecodeMemoBlock(const Field& field, std::string_view record) {
  if (!field.isMemo()) WrongType(field, "memo");
  std::string_view bytes = FieldBytes(field, record);
  if (bytes.size() == 4) return LoadLe32(bytes.data());
  // FoxPro 2.x / dBase III: the block number as ten ASCII digits, blank for none.
  uint64_t block = 0;
  for (char c : bytes) {
    if (c >= '0' && c <= '9')
      block = block * 10 + static_cast<uint64_t>(c - '0');
    else if (c != ' ' && c != '\0')
      return 0;
  }
  return block > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(block);
}

bool HoldsUnreadableValue(const Field& field, std::string_view record) {
  const bool numeric = field.type == FieldType::kNumeric || field.type == FieldType::kFloat;
  if (!numeric && field.type != FieldType::kDate) return false;
  const std::string_view s = FieldBytes(field, record);
  double whole;  // the common case first: a whole number as every writer stores it
  if (numeric && decode_detail::ParseWholeNumber(s.data(), static_cast<unsigned>(s.size()), whole))
    return false;
  // Blanks are the empty value; so are the NUL bytes some other writers fill a field with.
  if (s.find_first_not_of(std::string_view(" \0", 2)) == std::string_view::npos) return false;
  if (!numeric) return !DecodeDate(field, record);
  // Blanks, a sign, digits with at most one point, blanks: the numeric text of every writer.
  size_t i = s.find_first_not_of(' ');
  if (s[i] == '-' || s[i] == '+') ++i;
  size_t digits = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      ++digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < s.size() && s[i] == ' ') ++i;
  return digits == 0 || i != s.size();
}

}  // namespace vorel::dbf
