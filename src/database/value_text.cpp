#include "database/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "sql/date_text.h"
#include "sql/number_text.h"

namespace vorel {
namespace {

// Plain decimal text without trailing zeros, with the regional decimal separator.
void AppendNumber(std::string& out, double value, const sql::Column& column,
                  const RegionalSettings& regional) {
  WholeNumberBuffer buffer;
  if (const std::string_view whole = WholeNumberText(value, buffer); !whole.empty()) {
    out += whole;
    return;
  }
  std::string text;
  switch (column.type) {
    case dbf::FieldType::kDouble:
      text = sql::ShortestText(value);
      break;
    case dbf::FieldType::kInteger:
      text = sql::FormatFixed(value, 0);
      break;
    case dbf::FieldType::kCurrency:
      text = sql::FormatFixed(value, 4);
      break;
    default:
      text = sql::FormatFixed(value, column.decimals);
      break;
  }
  size_t point = text.find('.');
  if (point != std::string::npos) {
    size_t end = text.find_last_not_of('0');
    if (end == point) --end;
    text.resize(end + 1);
    if (point < text.size()) text[point] = regional.decimalSeparator;
  }
  if (text == "-0") text = "0";
  out += text;
}

}  // namespace

std::string_view WholeNumberText(double value, WholeNumberBuffer& buffer) {
  if (!(value > -1e15 && value < 1e15)) return {};
  const auto whole = static_cast<int64_t>(value);
  if (static_cast<double>(whole) != value) return {};
  uint64_t magnitude = whole < 0 ? 0 - static_cast<uint64_t>(whole) : static_cast<uint64_t>(whole);
  // Two digits a step, from a table of the pairs 00..99.
  static constexpr char kPairs[] =
      "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
      "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
  char* const end = buffer.data() + buffer.size();
  char* p = end;
  while (magnitude >= 100) {
    const size_t pair = static_cast<size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    *--p = kPairs[pair + 1];
    *--p = kPairs[pair];
  }
  if (magnitude >= 10) {
    *--p = kPairs[magnitude * 2 + 1];
    *--p = kPairs[magnitude * 2];
  } else {
    *--p = static_cast<char>('0' + magnitude);
  }
  if (whole < 0) *--p = '-';
  return {p, static_cast<size_t>(end - p)};
}

void AppendValueText(std::string& out, const sql::Value& value, const sql::Column& column,
                     const RegionalSettings& regional) {
  switch (value.kind) {
    case sql::ValueKind::kNull:
      return;
    case sql::ValueKind::kText:
      out.append(value.text);
      return;
    case sql::ValueKind::kNumber:
      AppendNumber(out, value.number, column, regional);
      return;
    case sql::ValueKind::kDate:
      if (value.moment != 0) out += sql::ShortDateText(value.moment, regional);
      return;
    case sql::ValueKind::kDateTime: {
      if (value.moment == 0) return;
      int64_t day = value.moment / sql::kMillisecondsPerDay;
      int64_t s = value.moment % sql::kMillisecondsPerDay / 1000;
      out += sql::ShortDateText(day, regional);
      if (s != 0) {
        out += ' ';
        out += regional.FormatTime(static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                                   static_cast<int>(s % 60));
      }
      return;
    }
    case sql::ValueKind::kLogical:
      out += value.logical ? "True" : "False";
      return;
  }
}

std::string ValueText(const sql::Value& value, const sql::Column& column, const RegionalSettings& regional) {
  std::string out;
  AppendValueText(out, value, column, regional);
  return out;
}

}  // namespace vorel
