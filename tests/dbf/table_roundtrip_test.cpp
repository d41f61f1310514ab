#include <gtest/gtest.h>

#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/table.h"
#include "dbf_test_support.h"
#include "platform/calendar.h"
#include "platform/code_page.h"

namespace vorel::dbf {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

class FixedClock final : public Clock {
 public:
  TimePoint Now() const override { return {}; }
  LocalDateTime ToLocal(TimePoint) const override { return {2026, 12, 8, 10, 0, 0, 0}; }
};

constexpr AnsiText kSurname("Иванов");
constexpr AnsiText kMemoText("Запись на приём: кабинет 12, врач-терапевт");

std::vector<FieldSpec> AllTypes() {
  return {
      {"name", FieldType::kCharacter, 10, 0, true},
      {"note", FieldType::kVarchar, 12, 0, true},
      {"raw", FieldType::kVarbinary, 6},
      {"amount", FieldType::kNumeric, 8, 2, true},
      {"cnt", FieldType::kNumeric, 5},
      {"rate", FieldType::kFloat, 10, 3},
      {"id", FieldType::kInteger},
      {"weight", FieldType::kDouble, 0, 2},
      {"price", FieldType::kCurrency, 0, 0, true},
      {"dat", FieldType::kDate, 0, 0, true},
      {"stamp", FieldType::kDateTime, 0, 0, true},
      {"ok", FieldType::kLogical},
      {"memo", FieldType::kMemo, 0, 0, true},
      {"blob", FieldType::kBlob},
  };
}

int64_t Jdn(int y, int m, int d) {
  return JulianDayFromCivil(y, m, d);
}

class TableRoundTrip : public ::testing::Test {
 protected:
  TempFolder folder;
  FixedClock clock;
  TableOptions options() const {
    TableOptions o;
    o.clock = &clock;
    return o;
  }
};

TEST_F(TableRoundTrip, EveryTypeWrittenAndReadBack) {
  const std::string blob("\x00\x01\xFF\x00zz", 6);
  {
    const auto specs = AllTypes();
    CreateOptions create;
    create.clock = &clock;
    Table t = Table::Create(folder.path(), "visits", specs, create, options());
    EXPECT_EQ(t.layout().version, 0x32);  // varchar and blob fields make it a VFP 9 table
    EXPECT_EQ(t.layout().tableFlags, kTableHasMemo);
    ASSERT_EQ(t.fields().size(), specs.size());
    EXPECT_EQ(t.fields()[0].name, "NAME");
    ASSERT_GE(t.layout().nullFlagsIndex, 0);

    auto f = [&](const char* n) -> const Field& { return t.GetField(n); };
    // 1: ordinary values, a month end and one second before midnight of a year end.
    t.AppendRecord([&](std::span<char> r) {
      EncodeText(f("name"), kSurname.view(), r);
      EncodeText(f("note"), "short", r);
      EncodeText(f("raw"), std::string_view("\x01\x00\x02", 3), r);
      EncodeNumber(f("amount"), -12.5, r);
      EncodeInteger(f("cnt"), 42, r);
      EncodeNumber(f("rate"), 3.14159, r);
      EncodeInteger(f("id"), -7, r);
      EncodeNumber(f("weight"), 1.5e10, r);
      EncodeNumber(f("price"), 12.3456, r);
      EncodeDate(f("dat"), Jdn(2024, 2, 29), r);
      EncodeDateTime(f("stamp"), DateTimeValue{Jdn(2023, 12, 31), 86399000}, r);
      EncodeLogical(f("ok"), true, r);
      t.WriteMemoAnsi(f("memo"), kMemoText.view(), r);
      t.WriteMemo(f("blob"), blob, r);
    });
    // 2: NULL in every nullable field, a varchar that fills its field, a text cut to its width.
    t.AppendRecord([&](std::span<char> r) {
      for (const char* n : {"name", "amount", "price", "dat", "stamp", "memo"}) EncodeNull(f(n), r);
      EncodeNull(f("note"), r);
      EncodeText(f("note"), "exactly12chr", r);
      EncodeText(f("raw"), "abcdefghij", r);
      EncodeLogical(f("ok"), false, r);
    });
    // 3: a blank record.
    t.AppendRecord([](std::span<char>) {});
    // 4: midnight of the first of a month, fractions to round, an empty varchar.
    t.AppendRecord([&](std::span<char> r) {
      EncodeDateTime(f("stamp"), DateTimeValue{Jdn(2024, 3, 1), 0}, r);
      EncodeDate(f("dat"), Jdn(2024, 12, 31), r);
      EncodeNumber(f("amount"), 0.005, r);
      EncodeNumber(f("cnt"), -0.2, r);
      EncodeText(f("note"), "", r);
      EncodeText(f("name"), "", r);
    });
  }

  Table t = Table::Open(folder.path(), "VISITS", options());
  ASSERT_EQ(t.recordCount(), 4u);
  auto f = [&](const char* n) -> const Field& { return t.GetField(n); };
  std::vector<std::string> rows;
  TableScanner scan = t.Scan();
  RecordRef rec;
  while (scan.Next(rec)) {
    EXPECT_EQ(rec.recno, rows.size() + 1);
    EXPECT_FALSE(rec.deleted);
    rows.emplace_back(rec.bytes);
  }
  ASSERT_EQ(rows.size(), 4u);

  const std::string& r1 = rows[0];
  EXPECT_EQ(DecodeText(f("name"), r1), kSurname.str() + "    ");
  EXPECT_EQ(DecodeText(f("note"), r1), "short");
  EXPECT_EQ(DecodeText(f("raw"), r1), std::string_view("\x01\x00\x02", 3));
  EXPECT_EQ(FieldBytes(f("amount"), r1), "  -12.50");
  EXPECT_DOUBLE_EQ(DecodeNumeric(f("amount"), r1).value, -12.5);
  EXPECT_EQ(FieldBytes(f("cnt"), r1), "   42");
  EXPECT_EQ(FieldBytes(f("rate"), r1), "     3.142");
  EXPECT_EQ(DecodeInteger(f("id"), r1), -7);
  EXPECT_DOUBLE_EQ(DecodeDouble(f("weight"), r1), 1.5e10);
  EXPECT_EQ(DecodeCurrency(f("price"), r1), 123456);
  EXPECT_EQ(FieldBytes(f("dat"), r1), "20240229");
  EXPECT_EQ(DecodeDate(f("dat"), r1), Jdn(2024, 2, 29));
  EXPECT_EQ(DecodeDateTime(f("stamp"), r1), (DateTimeValue{Jdn(2023, 12, 31), 86399000}));
  EXPECT_EQ(DecodeDate(f("stamp"), r1), Jdn(2023, 12, 31));
  EXPECT_EQ(DecodeLogical(f("ok"), r1), true);
  EXPECT_EQ(t.ReadMemoAnsi(f("memo"), r1), kMemoText.str());
  EXPECT_EQ(t.ReadMemo(f("blob"), r1), blob);
  for (const Field& field : t.fields()) EXPECT_FALSE(IsNull(field, r1)) << field.name;

  const std::string& r2 = rows[1];
  for (const char* n : {"name", "amount", "price", "dat", "stamp", "memo"})
    EXPECT_TRUE(IsNull(f(n), r2)) << n;
  EXPECT_FALSE(IsNull(f("note"), r2));
  EXPECT_EQ(DecodeText(f("note"), r2), "exactly12chr");
  EXPECT_EQ(DecodeText(f("raw"), r2), "abcdef");
  EXPECT_EQ(FieldBytes(f("dat"), r2), "        ");
  EXPECT_EQ(DecodeLogical(f("ok"), r2), false);

  const std::string& r3 = rows[2];
  EXPECT_EQ(DecodeText(f("name"), r3), "          ");
  EXPECT_EQ(DecodeText(f("note"), r3), "");
  EXPECT_TRUE(DecodeNumeric(f("amount"), r3).blank);
  EXPECT_EQ(DecodeDate(f("dat"), r3), std::nullopt);
  EXPECT_EQ(DecodeDateTime(f("stamp"), r3), std::nullopt);
  EXPECT_EQ(DecodeLogical(f("ok"), r3), std::nullopt);
  EXPECT_EQ(DecodeInteger(f("id"), r3), 0);
  EXPECT_EQ(t.ReadMemo(f("memo"), r3), "");
  for (const Field& field : t.fields()) EXPECT_FALSE(IsNull(field, r3)) << field.name;

  const std::string& r4 = rows[3];
  EXPECT_EQ(DecodeDateTime(f("stamp"), r4), (DateTimeValue{Jdn(2024, 3, 1), 0}));
  EXPECT_EQ(DecodeDate(f("dat"), r4), Jdn(2024, 12, 31));
  EXPECT_EQ(FieldBytes(f("amount"), r4), "    0.01");
  EXPECT_EQ(FieldBytes(f("cnt"), r4), "    0");
  EXPECT_EQ(DecodeText(f("note"), r4), "");
  EXPECT_FALSE(DecodeNumeric(f("cnt"), r4).blank);

  // Header: count, last-update date (year mod 100), end-of-file marker right after the last record.
  const std::string file = ReadBytes(t.path());
  EXPECT_EQ(LoadLe32(file.data() + 4), 4u);
  EXPECT_EQ(file.substr(1, 3), std::string("\x1A\x0C\x08", 3));
  EXPECT_EQ(file.size(), t.layout().RecordOffset(5) + 1);
  EXPECT_EQ(file.back(), kEndOfFile);
}

TEST_F(TableRoundTrip, UpdateChangesOnlyTheRecordAndNeverTheHeader) {
  const std::vector<FieldSpec> specs = {{"kw", FieldType::kNumeric, 5},
                                        {"fiol", FieldType::kCharacter, 20},
                                        {"note", FieldType::kMemo},
                                        {"amount", FieldType::kNumeric, 6, 2, true}};
  Table t = Table::Create(folder.path(), "m2401", specs, {}, options());
  for (int i = 1; i <= 3; ++i)
    t.AppendRecord([&](std::span<char> r) {
      EncodeInteger(t.GetField("kw"), i, r);
      t.WriteMemo(t.GetField("note"), "first " + std::to_string(i), r);
      EncodeNull(t.GetField("amount"), r);
    });
  const std::string before = ReadBytes(t.path());
  const size_t headerLength = t.layout().headerLength;

  // Matches record 2 only; the callback sees the fresh bytes.
  const uint32_t all[] = {3, 1, 2, 2};
  const size_t updated =
      t.UpdateRecords(all, [&](uint32_t recno, std::string_view fresh, std::span<char> rec) {
        if (DecodeNumeric(t.GetField("kw"), fresh).value != 2) return false;
        EncodeText(t.GetField("fiol"), "Petrov", rec);
        EncodeNumber(t.GetField("amount"), 99.99, rec);
        t.WriteMemo(t.GetField("note"), "second, longer than the first value", rec);
        return true;
      });
  EXPECT_EQ(updated, 1u);
  const std::string after = ReadBytes(t.path());
  EXPECT_EQ(after.substr(0, headerLength), before.substr(0, headerLength));
  EXPECT_EQ(after.substr(t.layout().RecordOffset(1), t.layout().recordLength),
            before.substr(t.layout().RecordOffset(1), t.layout().recordLength));
  std::string r;
  ASSERT_TRUE(t.ReadRecord(2, r));
  EXPECT_EQ(DecodeText(t.GetField("fiol"), r).substr(0, 6), "Petrov");
  EXPECT_FALSE(IsNull(t.GetField("amount"), r));
  EXPECT_EQ(FieldBytes(t.GetField("amount"), r), " 99.99");
  EXPECT_EQ(t.ReadMemo(t.GetField("note"), r), "second, longer than the first value");
  ASSERT_TRUE(t.ReadRecord(3, r));
  EXPECT_EQ(t.ReadMemo(t.GetField("note"), r), "first 3");

  // A failure inside the callback (overflow of the second record) leaves every record unwritten.
  const uint32_t two[] = {1, 2};
  EXPECT_THROW(t.UpdateRecords(two,
                               [&](uint32_t recno, std::string_view, std::span<char> rec) {
                                 EncodeNumber(t.GetField("amount"), recno == 1 ? 1.0 : 1234567.0, rec);
                                 return true;
                               }),
               NumericOverflowError);
  ASSERT_TRUE(t.ReadRecord(1, r));
  EXPECT_TRUE(IsNull(t.GetField("amount"), r));

  t.SetDeleted(3);
  TableScanner scan = t.Scan();
  RecordRef rec;
  std::vector<bool> deleted;
  while (scan.Next(rec)) deleted.push_back(rec.deleted);
  EXPECT_EQ(deleted, (std::vector<bool>{false, false, true}));
  EXPECT_FALSE(t.ReadRecord(4, r));
  EXPECT_THROW(t.SetDeleted(9), TableFileError);
}

TEST_F(TableRoundTrip, OpensWhateverTheCaseOnDiskButNeverOutsideTheFolder) {
  const std::vector<FieldSpec> specs = {{"a", FieldType::kCharacter, 3}};
  Table::Create(folder.path(), "M2401", specs);
#ifndef _WIN32  // Windows finds any case by itself and keeps the name as asked
  EXPECT_EQ(Table::Open(folder.path(), "m2401").path().filename(), "M2401.dbf");
#endif
  EXPECT_EQ(Table::Open(folder.path(), "m2401.DBF").fields().size(), 1u);
  EXPECT_THROW(Table::Open(folder.path(), "../" + folder.path().filename().string() + "/m2401"),
               TableNotFoundError);
  EXPECT_THROW(Table::Open(folder.path(), "c2402"), TableNotFoundError);
  EXPECT_THROW(Table::Create(folder.path(), "m2401", specs), TableFileError);
  const std::vector<FieldSpec> bad = {{"a", FieldType::kCharacter, 3}, {"A", FieldType::kNumeric, 4}};
  EXPECT_THROW(Table::Create(folder.path(), "dup", bad), FieldValueError);
}

}  // namespace
}  // namespace vorel::dbf
