#include <gtest/gtest.h>
#include <stdio.h>

#include <array>
#include <cstdlib>

#include "dbf/table.h"
#include "dbf_test_support.h"
#include "platform/calendar.h"
#include "platform/code_page.h"

namespace vorel::dbf {
namespace {

using testing::CopyFixture;
using testing::FixturePath;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::vector<std::string> ScanRows(Table& t) {
  std::vector<std::string> rows;
  TableScanner scan = t.Scan();
  RecordRef rec;
  while (scan.Next(rec)) rows.emplace_back(rec.bytes);
  return rows;
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// Runs a python3-dbf script (Debian's python3-dbf, importable by /usr/bin/python3) with `folder` as its
// argument; returns its standard output, or nullopt when python3-dbf is not installed.
std::optional<std::string> RunPython(const std::string& script, const std::filesystem::path& folder) {
  if (std::system("/usr/bin/python3 -c 'import dbf' >/dev/null 2>&1") != 0) return std::nullopt;
  const auto file = folder / "script.py";
  WriteBytes(file, script);
  const std::string command = "/usr/bin/python3 " + file.string() + " " + folder.string() + " 2>&1";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 4096> buf;
  while (size_t n = fread(buf.data(), 1, buf.size(), pipe)) out.append(buf.data(), n);
  EXPECT_EQ(pclose(pipe), 0) << out;
  return out;
}

TEST(VfpFixtures, ReadsTablesWrittenByVisualFoxPro) {
  Table calls = Table::Open(FixturePath("foxprodb"), "calls");
  EXPECT_EQ(calls.layout().version, 0x30);
  EXPECT_TRUE(calls.layout().hasStructuralIndex());
  EXPECT_EQ(calls.layout().backlink, "foxpro-db-test.dbc");
  EXPECT_EQ(calls.recordCount(), 16u);
  auto rows = ScanRows(calls);
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(DecodeInteger(calls.GetField("call_id"), rows[15]), 16);
  EXPECT_EQ(DecodeDateTime(calls.GetField("call_date"), rows[0]),
            (DateTimeValue{JulianDayFromCivil(1994, 11, 21), 48939000}));
  // A time-only value sits on VFP's day zero, 1899-12-30.
  EXPECT_EQ(DecodeDate(calls.GetField("call_time"), rows[0]), JulianDayFromCivil(1899, 12, 30));
  EXPECT_EQ(Trimmed(DecodeText(calls.GetField("subject"), rows[1])), "Buy espresso beans.");
  EXPECT_EQ(calls.ReadMemo(calls.GetField("notes"), rows[1]), "Usual monthly order.");
  EXPECT_EQ(calls.ReadMemo(calls.GetField("notes"), rows[0]).rfind("Nancy told me about their blends.", 0),
            0u);

  Table contacts = Table::Open(FixturePath("foxprodb"), "CONTACTS");
  rows = ScanRows(contacts);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(Trimmed(DecodeText(contacts.GetField("city"), rows[4])), "London");

  Table russian = Table::Open(FixturePath(""), "cp1251");
  EXPECT_EQ(russian.layout().codePageMark, kCodePage1251);
  rows = ScanRows(russian);
  ASSERT_EQ(rows.size(), 4u);
  constexpr AnsiText kHospital("больничное");
  EXPECT_EQ(Trimmed(DecodeText(russian.GetField("name"), rows[1])), kHospital.str());
  EXPECT_EQ(DecodeNumeric(russian.GetField("rn"), rows[3]).value, 4);

  // Northwind products: autoincrement, nullable fields in _NullFlags, currency.
  Table products = Table::Open(FixturePath(""), "dbase_31");
  EXPECT_EQ(products.layout().version, 0x31);
  const Field& id = products.GetField("productid");
  EXPECT_TRUE(id.autoIncrement());
  EXPECT_EQ(id.autoIncrementNext, 78u);
  EXPECT_EQ(products.FindField("_NullFlags"), nullptr);
  rows = ScanRows(products);
  ASSERT_EQ(rows.size(), 77u);
  EXPECT_EQ(DecodeCurrency(products.GetField("unitprice"), rows[0]), 180000);
  EXPECT_EQ(DecodeLogical(products.GetField("discontinu"), rows[0]), false);
  EXPECT_FALSE(IsNull(products.GetField("supplierid"), rows[0]));
  EXPECT_EQ(products.GetField("unitprice").nullBit, 3);

  Table varchar = Table::Open(FixturePath(""), "dbase_32");
  EXPECT_EQ(varchar.layout().version, 0x32);
  rows = ScanRows(varchar);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(DecodeText(varchar.GetField("name"), rows[0]), "Bad Meets Evil");
}

TEST(VfpFixtures, IndexedTablesWithoutTheirIndexFileRefuseEveryWrite) {
  TempFolder folder;
  for (const char* name : {"cp1251.dbf", "foxprodb/calls.dbf"}) {
    const auto path = CopyFixture(name, folder.path());
    const std::string before = ReadBytes(path);
    Table t = Table::Open(folder.path(), path.stem().string());
    EXPECT_FALSE(t.writable());
    try {
      t.UpdateRecord(1, [](uint32_t, std::string_view, std::span<char> r) {
        r[1] = 'x';
        return true;
      });
      ADD_FAILURE() << "update allowed";
    } catch (const IndexedTableWriteError& e) {
      EXPECT_NE(std::string(e.what()).find(path.stem().string()), std::string::npos) << e.what();
    }
    EXPECT_THROW(t.AppendRecord([](std::span<char>) {}), IndexedTableWriteError);
    EXPECT_THROW(t.SetDeleted(1), IndexedTableWriteError);
    EXPECT_EQ(ReadBytes(path), before);
  }
}

TEST(VfpFixtures, VarcharTableIsUpdatedInPlace) {
  TempFolder folder;
  const auto path = CopyFixture("dbase_32.dbf", folder.path());
  Table t = Table::Open(folder.path(), "dbase_32");
  const Field& name = t.GetField("name");
  ASSERT_TRUE(t.UpdateRecord(1, [&](uint32_t, std::string_view, std::span<char> r) {
    EncodeText(name, "Eminem", r);
    return true;
  }));
  Table again = Table::Open(folder.path(), "dbase_32");
  std::string r;
  ASSERT_TRUE(again.ReadRecord(1, r));
  EXPECT_EQ(DecodeText(name, r), "Eminem");
  EXPECT_EQ(static_cast<unsigned char>(r[name.offset + name.length - 1]), 6);
  ASSERT_TRUE(t.UpdateRecord(1, [&](uint32_t, std::string_view, std::span<char> r) {
    EncodeText(name, std::string(300, 'z'), r);
    return true;
  }));
  ASSERT_TRUE(again.ReadRecord(1, r));
  EXPECT_EQ(DecodeText(name, r), std::string(250, 'z'));
}

TEST(PythonDbf, ReadsTablesItWrites) {
  TempFolder folder;
  auto out = RunPython(R"(
import sys, dbf
folder = sys.argv[1]
t = dbf.Table(folder + '/vfp', 'name C(20); amount N(10,2); born D; flag L; note M; stamp T; ival I; dval B; cur Y',
              dbf_type='vfp', codepage='cp1251')
t.open(dbf.READ_WRITE)
t.append(('Иванов', -12.5, dbf.Date(2024, 2, 29), True, 'Запись в памятке', dbf.DateTime(2023, 12, 31, 23, 59, 59), -5, 2.5, 12.5))
t.append()
t.close()
t = dbf.Table(folder + '/fox', 'name C(10); amount N(12,3); note M', dbf_type='fp', codepage='cp1251')
t.open(dbf.READ_WRITE)
t.append(('fox', 1234567.891, 'fp memo'))
t.append(('second', -0.5, ''))
t.close()
t = dbf.Table(folder + '/db3', 'name C(10); amount N(6,1); born D', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('db3', -3.5, dbf.Date(1999, 12, 31)))
t.close()
print('ok')
)",
                       folder.path());
  if (!out) GTEST_SKIP() << "python3-dbf is not installed (make deps)";
  ASSERT_EQ(*out, "ok\n");

  Table vfp = Table::Open(folder.path(), "vfp");
  auto rows = ScanRows(vfp);
  ASSERT_EQ(rows.size(), 2u);
  constexpr AnsiText kName("Иванов");
  constexpr AnsiText kNote("Запись в памятке");
  auto f = [&](const char* n) -> const Field& { return vfp.GetField(n); };
  EXPECT_EQ(Trimmed(DecodeText(f("name"), rows[0])), kName.str());
  EXPECT_DOUBLE_EQ(DecodeNumeric(f("amount"), rows[0]).value, -12.5);
  EXPECT_EQ(DecodeDate(f("born"), rows[0]), JulianDayFromCivil(2024, 2, 29));
  EXPECT_EQ(DecodeLogical(f("flag"), rows[0]), true);
  EXPECT_EQ(vfp.ReadMemo(f("note"), rows[0]), kNote.str());
  EXPECT_EQ(DecodeDateTime(f("stamp"), rows[0]), (DateTimeValue{JulianDayFromCivil(2023, 12, 31), 86399000}));
  EXPECT_EQ(DecodeInteger(f("ival"), rows[0]), -5);
  EXPECT_DOUBLE_EQ(DecodeDouble(f("dval"), rows[0]), 2.5);
  EXPECT_EQ(DecodeCurrency(f("cur"), rows[0]), 125000);
  EXPECT_TRUE(DecodeNumeric(f("amount"), rows[1]).blank);
  EXPECT_EQ(DecodeDate(f("born"), rows[1]), std::nullopt);
  EXPECT_EQ(vfp.ReadMemo(f("note"), rows[1]), "");

  Table fox = Table::Open(folder.path(), "fox");
  EXPECT_EQ(fox.layout().version, 0xF5);
  rows = ScanRows(fox);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(fox.GetField("note").length, 10);  // FoxPro 2.x keeps memo block numbers as text
  EXPECT_EQ(fox.ReadMemo(fox.GetField("note"), rows[0]), "fp memo");
  EXPECT_DOUBLE_EQ(DecodeNumeric(fox.GetField("amount"), rows[0]).value, 1234567.891);
  EXPECT_DOUBLE_EQ(DecodeNumeric(fox.GetField("amount"), rows[1]).value, -0.5);
  EXPECT_EQ(fox.ReadMemo(fox.GetField("note"), rows[1]), "");

  Table db3 = Table::Open(folder.path(), "db3");
  rows = ScanRows(db3);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(DecodeDate(db3.GetField("born"), rows[0]), JulianDayFromCivil(1999, 12, 31));
  EXPECT_DOUBLE_EQ(DecodeNumeric(db3.GetField("amount"), rows[0]).value, -3.5);
}

TEST(PythonDbf, ReadsTablesThisLayerWrites) {
  TempFolder folder;
  {
    const std::vector<FieldSpec> specs = {
        {"name", FieldType::kCharacter, 12}, {"amount", FieldType::kNumeric, 9, 2},
        {"born", FieldType::kDate},          {"flag", FieldType::kLogical},
        {"note", FieldType::kMemo},          {"stamp", FieldType::kDateTime},
        {"ival", FieldType::kInteger},       {"cur", FieldType::kCurrency}};
    Table t = Table::Create(folder.path(), "ours", specs);
    constexpr AnsiText kName("Петров");
    constexpr AnsiText kNote("Памятка");
    t.AppendRecord([&](std::span<char> r) {
      EncodeText(t.GetField("name"), kName.view(), r);
      EncodeNumber(t.GetField("amount"), -1234.5, r);
      EncodeDate(t.GetField("born"), JulianDayFromCivil(2000, 2, 29), r);
      EncodeLogical(t.GetField("flag"), false, r);
      t.WriteMemo(t.GetField("note"), kNote.view(), r);
      EncodeDateTime(t.GetField("stamp"), DateTimeValue{JulianDayFromCivil(2024, 1, 31), 45296000}, r);
      EncodeInteger(t.GetField("ival"), 2147483647, r);
      EncodeNumber(t.GetField("cur"), -0.0001, r);
    });
    t.AppendRecord([](std::span<char>) {});
  }
  auto out = RunPython(R"(
import sys, dbf
t = dbf.Table(sys.argv[1] + '/ours', codepage='cp1251')
t.open(dbf.READ_ONLY)
for r in t:
    print('|'.join(str(r[f]).strip() if r[f] is not None else 'None' for f in t.field_names))
t.close()
)",
                       folder.path());
  if (!out) GTEST_SKIP() << "python3-dbf is not installed (make deps)";
  EXPECT_EQ(*out,
            "Петров|-1234.5|2000-02-29|False|Памятка|2024-01-31 12:34:56|2147483647|-0.0001\n"
            "|None|None|None||None|0|0.0000\n");
}

}  // namespace
}  // namespace vorel::dbf
