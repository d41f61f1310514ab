// The scan readers remember the last stored bytes and their value; they must give what the decoders give for
// every record, whatever the order of repeats, changes, blanks and unreadable bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf/field_decode.h"
#include "dbf/field_readers.h"

namespace vorel::dbf {
namespace {

Field At(FieldType type, uint32_t offset, uint8_t length, uint8_t decimals = 0) {
  Field f;
  f.name = "F";
  f.type = type;
  f.offset = offset;
  f.length = length;
  f.decimals = decimals;
  return f;
}

// A record of `size` bytes holding `text` at `offset`, the rest filled with digits that must not leak in.
std::string Record(size_t size, uint32_t offset, const std::string& text) {
  std::string r(size, '7');
  r.replace(offset, text.size(), text);
  return r;
}

TEST(FieldReaders, DateReaderGivesDecodeDateForEveryRecord) {
  const Field d = At(FieldType::kDate, 3, 8);
  const std::vector<std::string> texts = {"20261207", "20261207", "20261208", "        ",
                                          "        ", "20240229", "20230229", "2026?207",
                                          "20261207", "00000000", "99991231", "20261207"};
  DateReader reader(d);
  for (const std::string& text : texts) {
    const std::string record = Record(20, 3, text);
    EXPECT_EQ(reader(record), DecodeDate(d, record)) << text;
  }
  // A datetime field goes to DecodeDate every time.
  const Field t = At(FieldType::kDateTime, 1, 8);
  DateReader other(t);
  std::string record(9, '\0');
  record[1] = 0x10;
  EXPECT_EQ(other(record), DecodeDate(t, record));
  record[1] = 0x11;
  EXPECT_EQ(other(record), DecodeDate(t, record));
}

TEST(FieldReaders, NumericReaderGivesDecodeNumericForEveryRecord) {
  const std::vector<std::string> texts = {"    0", "    0", "   12", "  -12", "  -12", "     ",
                                          "     ", " 1.50", " 1.5 ", "***  ", "  12",  "    0"};
  for (uint8_t decimals : {0, 2}) {
    const Field n = At(FieldType::kNumeric, 2, 5, decimals);
    NumericReader reader(n);
    for (const std::string& text : texts) {
      const std::string record = Record(30, 2, text);
      const NumericValue want = DecodeNumeric(n, record);
      const NumericValue got = reader(record);
      EXPECT_EQ(got.value, want.value) << text;
      EXPECT_EQ(got.blank, want.blank) << text;
    }
  }
  // Wide fields, a field in the last bytes of the record (no room to read 16 bytes), and bytes after the
  // field that change while the field does not.
  const Field wide = At(FieldType::kNumeric, 1, 12);
  NumericReader wideReader(wide);
  for (const char* text : {"           5", "           5", "500000000005", "           6"}) {
    const std::string record = Record(40, 1, text);
    EXPECT_EQ(wideReader(record).value, DecodeNumeric(wide, record).value) << text;
  }
  const Field last = At(FieldType::kNumeric, 6, 4);
  NumericReader lastReader(last);
  for (const char* text : {"  42", "  42", "  43"}) {
    const std::string record = Record(10, 6, text);
    EXPECT_EQ(lastReader(record).value, DecodeNumeric(last, record).value) << text;
  }
  const Field n = At(FieldType::kNumeric, 1, 3);
  NumericReader reader(n);
  std::string record = Record(30, 1, " 42");
  EXPECT_EQ(reader(record).value, 42);
  record[4] = '9';  // the byte after the field
  EXPECT_EQ(reader(record).value, 42);
  record[3] = '3';
  EXPECT_EQ(reader(record).value, 43);
}

}  // namespace
}  // namespace vorel::dbf
