#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "dbf/dbf_errors.h"
#include "dbf/field_decode.h"
#include "dbf/field_encode.h"
#include "platform/calendar.h"

namespace vorel::dbf {
namespace {

Field NumericField(uint8_t width, uint8_t decimals, FieldType type = FieldType::kNumeric) {
  Field f;
  f.name = "N";
  f.type = type;
  f.offset = 1;
  f.length = width;
  f.decimals = decimals;
  return f;
}

// The field text an encoder writes into a record of '#' bytes, or "overflow".
std::string Encoded(const Field& f, double value) {
  std::string record(1 + f.length, '#');
  try {
    EncodeNumber(f, value, record);
  } catch (const NumericOverflowError&) {
    EXPECT_EQ(record, std::string(1 + f.length, '#')) << "bytes changed before the overflow";
    return "overflow";
  }
  return record.substr(1);
}

TEST(NumericEncoding, WidthDecimalsRoundingAndOverflow) {
  struct Case {
    uint8_t width, decimals;
    double value;
    const char* text;
  } cases[] = {
      {8, 2, -12.5, "  -12.50"},
      {8, 2, 2.675, "    2.68"},  // decimal rounding, half away from zero, not the binary 2.67499..
      {8, 2, -2.675, "   -2.68"},
      {8, 2, 0.005, "    0.01"},
      {8, 2, -0.001, "    0.00"},  // no negative zero
      {5, 2, 147.8, "147.8"},      // decimals dropped when the integer part still fits
      {5, 2, 12.345, "12.35"},
      {4, 2, -0.5, "-.50"},  // a zero integer part is left out before decimals are dropped
      {3, 2, 0.25, ".25"},
      {3, 0, 999.4, "999"},
      {3, 0, 999.5, "overflow"},  // rounding carries into a fourth digit
      {3, 0, -99, "-99"},
      {3, 0, -100, "overflow"},
      {5, 2, 123456, "overflow"},
      {10, 2, 1e300, "overflow"},
      {10, 2, std::nan(""), "overflow"},
      {10, 2, std::numeric_limits<double>::infinity(), "overflow"},
      {20, 0, 12345678901234567890.0, "12345678901234567168"},
      {1, 0, 7, "7"},
      {1, 0, -1, "overflow"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Encoded(NumericField(c.width, c.decimals), c.value), c.text)
        << "N(" << int(c.width) << "," << int(c.decimals) << ") " << c.value;
}

TEST(NumericEncoding, IntegersAreExactAndOtherTypesCheckTheirRange) {
  std::string record(21, '#');
  Field wide = NumericField(20, 0);
  EncodeInteger(wide, std::numeric_limits<int64_t>::min(), record);
  EXPECT_EQ(record.substr(1), "-9223372036854775808");
  Field money = NumericField(9, 2);
  EncodeInteger(money, -123456, record);
  EXPECT_EQ(record.substr(1, 9), "-123456.0");
  EXPECT_THROW(EncodeInteger(NumericField(5, 0), 123456, record), NumericOverflowError);

  Field i = NumericField(4, 0, FieldType::kInteger);
  EncodeNumber(i, -2147483648.0, record);
  EXPECT_EQ(DecodeInteger(i, record), std::numeric_limits<int32_t>::min());
  EXPECT_THROW(EncodeNumber(i, 2147483648.0, record), NumericOverflowError);
  EXPECT_THROW(EncodeInteger(i, int64_t{1} << 31, record), NumericOverflowError);

  Field y = NumericField(8, 4, FieldType::kCurrency);
  EncodeNumber(y, 12.34565, record);
  EXPECT_EQ(DecodeCurrency(y, record), 123457);
  EncodeInteger(y, -3, record);
  EXPECT_EQ(DecodeCurrency(y, record), -30000);
  EXPECT_THROW(EncodeNumber(y, 1e15, record), NumericOverflowError);
  EXPECT_DOUBLE_EQ(DecodeNumber(y, record), -3.0);

  Field d = NumericField(8, 0, FieldType::kDate);
  EXPECT_THROW(EncodeNumber(d, 1, record), FieldValueError);
  EXPECT_THROW(EncodeText(d, "x", record), FieldValueError);
}

TEST(NumericDecoding, ReadsLikeVal) {
  auto decode = [](std::string text) {
    Field f = NumericField(static_cast<uint8_t>(text.size()), 2);
    return DecodeNumeric(f, " " + text);
  };
  EXPECT_DOUBLE_EQ(decode("  -12.50").value, -12.5);
  EXPECT_DOUBLE_EQ(decode("   .25").value, 0.25);
  EXPECT_DOUBLE_EQ(decode("12345678901234567890").value, 12345678901234567890.0);
  EXPECT_TRUE(decode("      ").blank);
  EXPECT_FALSE(decode("  ****").blank);
  EXPECT_EQ(decode("  ****").value, 0);
  EXPECT_DOUBLE_EQ(decode(" 12abc").value, 12);
}

// The inline fast paths must read every text exactly as the general parser does.
TEST(NumericDecoding, FastPathAgreesWithTheGeneralParser) {
  const std::string alphabet = " -0123456789.*+";
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int round = 0; round < 400000; ++round) {
    const uint8_t width = static_cast<uint8_t>(1 + next() % 16);
    std::string text;
    const size_t blanks = next() % (width + 1);
    if (round % 2 == 0) {
      for (size_t i = 0; i < width; ++i)
        text += i < blanks ? ' ' : alphabet[(next() >> 8) % (i == blanks ? alphabet.size() : 12)];
    } else {
      // Well-formed integers as the encoder writes them: blanks, an optional minus, digits (zeros too).
      for (size_t i = 0; i < width; ++i)
        text += i < blanks ? ' ' : static_cast<char>('0' + (next() >> 8) % (i == blanks ? 3 : 10));
      if (blanks > 0 && next() % 2) text[blanks - 1] = '-';
    }
    Field f = NumericField(width, 0);
    const std::string record = " " + text + "99999999";  // bytes after the field must not leak in
    const NumericValue fast = DecodeNumeric(f, record);
    const NumericValue general = decode_detail::ParseNumericText(text);
    ASSERT_EQ(fast.blank, general.blank) << "'" << text << "'";
    ASSERT_DOUBLE_EQ(fast.value, general.value) << "'" << text << "'";
  }
}

TEST(DateCoding, TextDatesAndBinaryDatetimes) {
  Field d = NumericField(8, 0, FieldType::kDate);
  std::string record(9, ' ');
  EXPECT_EQ(DecodeDate(d, record), std::nullopt);
  EncodeDate(d, JulianDayFromCivil(1900, 2, 28), record);
  EXPECT_EQ(record.substr(1), "19000228");
  EXPECT_EQ(DecodeDate(d, record), JulianDayFromCivil(1900, 2, 28));
  for (const char* bad : {"20230229", "2024 1 1", "00000000", "20241301"}) {
    record.replace(1, 8, bad);
    EXPECT_EQ(DecodeDate(d, record), std::nullopt) << bad;
  }
  EXPECT_THROW(EncodeDate(d, JulianDayFromCivil(10000, 1, 1), record), FieldValueError);
  // Every day of years 1..9999 goes to text and back to the same day number.
  for (int64_t day = JulianDayFromCivil(1, 1, 1); day <= JulianDayFromCivil(9999, 12, 31); ++day) {
    EncodeDate(d, day, record);
    ASSERT_EQ(DecodeDate(d, record), day) << record;
  }

  // Observed VFP bytes: 0e 61 25 00 / f8 bf ea 02 = 1994-11-21 13:35:39.
  Field t = NumericField(8, 0, FieldType::kDateTime);
  std::string stored = std::string(" \x0e\x61\x25\x00\xf8\xbf\xea\x02", 9);
  auto value = DecodeDateTime(t, stored);
  ASSERT_TRUE(value);
  EXPECT_EQ(CivilFromJulianDay(value->julianDay), (CivilDate{1994, 11, 21}));
  EXPECT_EQ(value->milliseconds, ((13 * 60 + 35) * 60 + 39) * 1000);
  std::string back(9, ' ');
  EncodeDateTime(t, value, back);
  EXPECT_EQ(back, stored);
  EXPECT_THROW(EncodeDateTime(t, DateTimeValue{value->julianDay, 86400000}, back), FieldValueError);
  EncodeDateTime(t, std::nullopt, back);
  EXPECT_EQ(back.substr(1), std::string(8, '\0'));
  EXPECT_EQ(DecodeDateTime(t, back), std::nullopt);
}

}  // namespace
}  // namespace vorel::dbf
