// Table XML and the exports: exact bytes over tables built for them. Today is 2026-12-07 (the fake clock).
#include <gtest/gtest.h>

#include <algorithm>

#include "database/database_errors.h"
#include "database/exports.h"
#include "database/run_query.h"
#include "database/table_xml.h"
#include "database_test_support.h"
#include "sql/sql_test_tables.h"

namespace vorel::dbtest {
namespace {

using namespace sqltest;
using FT = dbf::FieldType;

constexpr int64_t kToday = JulianDayFromCivil(2026, 12, 7);
sql::Value Day(int offset) {
  return sql::Value::Date(kToday + offset);
}

const char kClosed[] = "SQL: Cannot perform this operation on a closed dataset";

std::string Failed(const std::string& table) {
  return "<table name=" + table + ">\r\n<field></field>\r\n<data>\r\n<error>" + kClosed +
         "</error>\r\n</table>\r\n";
}
std::string Empty(const std::string& table, const std::string& fields) {
  return "<table name=" + table + ">\r\n<field>" + fields + "</field>\r\n<data>\r\n</data>\r\n</table>\r\n";
}

class TableXmlTest : public ::testing::Test {
 protected:
  // The "sql" log lines (the statements run, without their durations).
  std::vector<std::string> Statements() const {
    std::vector<std::string> out;
    for (const auto& [channel, message] : db.logger.lines) {
      if (channel == "sql") out.push_back(message.substr(message.find("] ") + 2));
    }
    return out;
  }
  DatabaseFixture db;
};

TEST_F(TableXmlTest, FreeSlotExportListsTodayThroughTodayPlus15) {
  MakeTable(db.folder.path(), "m2401", M2401Fields(),
            {{N(1), Day(0), T("09:00"), N(0), T(""), T(""), T("2")},
             {N(2), Day(15), T("10:00"), N(0), T(""), T(""), T("12")},
             {N(3), Day(16), T("10:00"), N(0), T(""), T(""), T("2")},
             {N(4), Day(-1), T("10:00"), N(0), T(""), T(""), T("2")},
             {N(5), Day(1), T("11:00"), N(9), T(""), T(""), T("2")}});
  const std::string expected =
      "<table name=nomer>\r\n<field>dat;tim;kw;</field>\r\n<data>\r\n"
      "07.12.2026\t09:00\t1\t\r\n22.12.2026\t10:00\t2\t\r\n</data>\r\n</table>\r\n";
  EXPECT_EQ(FreeSlotExport(db.ctx), expected);
  EXPECT_EQ(expected.size(), 117u);  // the CR LF pairs count
  EXPECT_FALSE(db.ADO.Connected());
  EXPECT_FALSE(db.SQL.Active());
  ASSERT_EQ(db.logger.lines.size(), 2u);
  EXPECT_EQ(db.logger.lines[1], (std::pair<std::string, std::string>{"global", "SQLtextSize: 117"}));
}

TEST_F(TableXmlTest, ValueTextsAreTrimmedAndStrippedOfLineBreaks) {
  MakeTable(
      db.folder.path(), "vals",
      {F("name", FT::kCharacter, 12), F("note", FT::kMemo), F("sum", FT::kNumeric, 8, 2),
       F("seen", FT::kDateTime), F("ok", FT::kLogical), F("opt", FT::kCharacter, 4, 0, true),
       F("born", FT::kDate)},
      {{T(A("  Ёлкин")), T("a\r\nb\tc"), N(12.5), DT(2026, 12, 7, 0, 0, 0), L(true), Null(), D(1990, 1, 31)},
       {T(""), T(""), N(-3), DT(2026, 12, 7, 9, 5, 0), L(false), T(" x "), EmptyDate()}});
  std::string xml = RenderTableXml(db.ctx, "vals", "select * from vals");
  EXPECT_EQ(xml, "<table name=vals>\r\n<field>name;note;sum;seen;ok;opt;born;</field>\r\n<data>\r\n" +
                     A("Ёлкин") +
                     "\tab\tc\t12,5\t07.12.2026\tTrue\t\t31.01.1990\t\r\n"
                     "\t\t-3\t07.12.2026 9:05:00\tFalse\tx\t\t\r\n</data>\r\n</table>\r\n");
  EXPECT_EQ(db.logger.lines.back().second, "SQLtextSize: " + std::to_string(xml.size()));
}

TEST_F(TableXmlTest, ADamagedMemoGivesPlusSignsForItsValueOnly) {
  MakeTable(db.folder.path(), "notes", {F("k", FT::kNumeric, 3), F("note", FT::kMemo)},
            {{N(1), T("first")}, {N(2), T("second")}, {N(3), T("third")}});
  {
    dbf::Table t = dbf::Table::Open(db.folder.path(), "notes");
    t.UpdateRecord(2, [&](uint32_t, std::string_view, std::span<char> changed) {
      dbf::EncodeMemoBlock(t.GetField("note"), 0x7FFFFF00u, changed);  // far past the end of the memo file
      return true;
    });
  }
  EXPECT_EQ(
      RenderTableXml(db.ctx, "notes", "select note, k from notes order by k desc"),
      "<table name=notes>\r\n<field>note;k;</field>\r\n<data>\r\nthird\t3\t\r\n+++\t2\t\r\nfirst\t1\t\r\n"
      "</data>\r\n</table>\r\n");
  // Computing with the damaged value fails the statement.
  EXPECT_EQ(RenderTableXml(db.ctx, "notes", "select note+'' from notes"), Failed("notes"));
}

// Stored bytes that are no value of their type show as "+++"; statements read them as they always did.
TEST_F(TableXmlTest, UnreadableNumbersAndDatesGivePlusSigns) {
  MakeTable(db.folder.path(), "odd", {F("n", FT::kNumeric, 6, 1), F("d", FT::kDate)},
            {{N(1), D(2026, 1, 2)},
             {N(2), D(2026, 1, 3)},
             {N(3), D(2026, 1, 4)},
             {N(-4.5), EmptyDate()},
             {N(5), D(2026, 1, 5)}});
  {
    dbf::Table t = dbf::Table::Open(db.folder.path(), "odd");
    const auto put = [&](uint32_t recno, const char* field, std::string_view bytes) {
      const dbf::Field& f = t.GetField(field);
      t.UpdateRecord(recno, [&](uint32_t, std::string_view, std::span<char> changed) {
        std::copy(bytes.begin(), bytes.end(), changed.begin() + f.offset);
        return true;
      });
    };
    put(1, "n", "******");
    put(2, "n", "   x12");
    put(3, "d", "2026ab01");
    // NUL bytes, as some other writers leave a field: the empty value, not an unreadable one.
    put(5, "n", std::string(6, '\0'));
    put(5, "d", std::string(8, '\0'));
  }
  EXPECT_EQ(RenderTableXml(db.ctx, "odd", "select n, d, n+1 from odd"),
            "<table name=odd>\r\n<field>n;d;exp_3;</field>\r\n<data>\r\n+++\t02.01.2026\t1\t\r\n"
            "+++\t03.01.2026\t1\t\r\n3\t+++\t4\t\r\n-4,5\t\t-3,5\t\r\n0\t\t1\t\r\n</data>\r\n</table>\r\n");
  db.ADO.Connect();  // the rendering closed its connection
  RunQuery(db.ctx, "select d from odd where n=0 or empty(d)");
  EXPECT_EQ(db.SQL.RecordCount(), 5);  // each row: 0 or the empty date
}

// Every kind of value under two regional profiles, plain and computed columns, stored and sorted order: the
// exact text guards the hand-written formatting against the general value text it stands for.
TEST_F(TableXmlTest, EveryValueKindRendersExactly) {
  MakeTable(
      db.folder.path(), "kinds",
      {F("c", FT::kCharacter, 14), F("v", FT::kVarchar, 10), F("m", FT::kMemo), F("n", FT::kNumeric, 12, 3),
       F("f", FT::kFloat, 10, 2), F("i", FT::kInteger), F("b", FT::kDouble, 8, 4), F("y", FT::kCurrency),
       F("d", FT::kDate), F("t", FT::kDateTime), F("l", FT::kLogical), F("o", FT::kCharacter, 4, 0, true),
       F("k", FT::kNumeric, 5)},
      {{T(" a&b<c>\"d'e "), T(A("Ёж") + "\x01"), T("x\r\ny\tz\x7f\xff "), N(-1234.5), N(0.1), N(-7),
        N(123456789.125), N(-12.3456), D(2026, 12, 7), DT(2026, 12, 7, 0, 0, 0), L(true), Null(), N(1)},
       {T(""), T(""), T(""), N(0), N(-0.0), N(0), N(0), N(0), EmptyDate(), sql::Value::DateTime(0), L(false),
        T(" x "), N(-0.0)},
       {T("\t\x80\xfe"), T("\r\n"), T("\n\n"), N(99999999.999), N(-9999999.99), N(2147483647), N(0.1 + 0.2),
        N(12345678.9999), D(1900, 1, 1), DT(2026, 1, 2, 23, 59, 59), L(true), T("ab"), N(99999)},
       {T("0"), T("1.50"), T(""), N(0.0005), N(-0.005), N(-2147483647), N(-2.5e-7), N(0.0001), D(2099, 2, 28),
        DT(1999, 3, 4, 12, 0, 1), L(false), T(""), N(-42)}});
  const std::string head = "<table name=kinds>\r\n<field>c;v;m;n;f;i;b;y;d;t;l;o;k;</field>\r\n<data>\r\n";
  EXPECT_EQ(RenderTableXml(db.ctx, "kinds", "select * from kinds"),
            head +
                "a&b<c>\"d'e\t\xA8\xE6\txy\tz\x7F\xFF\t-1234,5\t0,1\t-7\t123456789,125\t-12,3456\t07.12."
                "2026\t07.12.2026\tTrue\t\t1\t\r\n"
                "\t\t\t0\t0\t0\t0\t0\t\t\tFalse\tx\t0\t\r\n"
                "\x80\xFE\t\t\t99999999,999\t-10000000\t2147483647\t0,30000000000000004\t12345678,9999\t01."
                "01.1900\t02.01.2026 23:59:59\tTrue\tab\t99999\t\r\n"
                "0\t1.50\t\t0,001\t-0,01\t-2147483647\t-0,00000025\t0,0001\t28.02.2099\t04.03.1999 "
                "12:00:01\tFalse\t\t-42\t\r\n"
                "</data>\r\n"
                "</table>\r\n");
  const std::string computed =
      "select n/3, i*2, i*1000000000, b*-1, -y, d+1, t, c+'|', k from kinds order by k desc";
  EXPECT_EQ(
      RenderTableXml(db.ctx, "kinds", computed),
      "<table name=kinds>\r\n"
      "<field>exp_1;exp_2;exp_3;exp_4;exp_5;exp_6;t;exp_8;k;</field>\r\n"
      "<data>\r\n"
      "33333333,333\t4294967294\t2147483647000000000\t-0,3\t-12345678,9999\t02.01.1900\t02.01.2026 "
      "23:59:59\t\x80\xFE           |\t99999\t\r\n"
      "-411,5\t-14\t-7000000000\t-123456789,125\t12,3456\t08.12.2026\t07.12.2026\ta&b<c>\"d'e   |\t1\t\r\n"
      "0\t0\t0\t0\t0\t\t\t|\t0\t\r\n"
      "0\t-4294967294\t-2147483647000000000\t0\t-0,0001\t01.03.2099\t04.03.1999 12:00:01\t0             "
      "|\t-42\t\r\n"
      "</data>\r\n"
      "</table>\r\n");
  db.regional.shortDate = "M/d/yy";
  db.regional.longTime = "hh:mm:s";
  db.regional.decimalSeparator = '.';
  EXPECT_EQ(RenderTableXml(db.ctx, "kinds", "select * from kinds"),
            head +
                "a&b<c>\"d'e\t\xA8\xE6\txy\tz\x7F\xFF\t-1234.5\t0.1\t-7\t123456789.125\t-12.3456\t12/7/"
                "26\t12/7/26\tTrue\t\t1\t\r\n"
                "\t\t\t0\t0\t0\t0\t0\t\t\tFalse\tx\t0\t\r\n"
                "\x80\xFE\t\t\t99999999.999\t-10000000\t2147483647\t0.30000000000000004\t12345678.9999\t1/1/"
                "00\t1/2/26 11:59:59\tTrue\tab\t99999\t\r\n"
                "0\t1.50\t\t0.001\t-0.01\t-2147483647\t-0.00000025\t0.0001\t2/28/99\t3/4/99 "
                "12:00:1\tFalse\t\t-42\t\r\n"
                "</data>\r\n"
                "</table>\r\n");
}

// The rendering keeps the texts of dates it wrote: days that share a place among them each keep their own.
TEST_F(TableXmlTest, DaysFarApartKeepTheirOwnTexts) {
  MakeTable(db.folder.path(), "days", {F("d", FT::kDate)},
            {{Day(0)}, {Day(64)}, {Day(0)}, {Day(-128)}, {EmptyDate()}, {Day(64)}});
  EXPECT_EQ(
      RenderTableXml(db.ctx, "days", "select * from days"),
      "<table name=days>\r\n<field>d;</field>\r\n<data>\r\n07.12.2026\t\r\n09.02.2027\t\r\n07.12.2026\t\r\n"
      "01.08.2026\t\r\n\t\r\n09.02.2027\t\r\n</data>\r\n</table>\r\n");
}

TEST_F(TableXmlTest, ALineBreakAnywhereInATextIsDropped) {
  std::vector<std::string> texts;
  std::string lines;
  for (size_t at = 1; at < 18; ++at) {
    std::string text = "0123456789abcdefghi";
    text[at] = at % 2 ? '\r' : '\n';
    texts.push_back(text);
    lines += text.erase(at, 1) + "\t\r\n";
  }
  std::vector<std::vector<sql::Value>> rows;
  for (const std::string& text : texts) rows.push_back({T(text)});
  MakeTable(db.folder.path(), "breaks", {F("c", FT::kCharacter, 20)}, rows);
  EXPECT_EQ(RenderTableXml(db.ctx, "breaks", "select * from breaks"),
            "<table name=breaks>\r\n<field>c;</field>\r\n<data>\r\n" + lines + "</data>\r\n</table>\r\n");
}

TEST_F(TableXmlTest, FailedStatementsAndStatementsWithoutRows) {
  MakeTable(db.folder.path(), "m2401", M2401Fields(), {});
  EXPECT_EQ(RenderTableXml(db.ctx, "nomer", "select dat,tim,kw from m2401"), Empty("nomer", "dat;tim;kw;"));
  db.logger.lines.clear();
  EXPECT_EQ(RenderTableXml(db.ctx, "sql", "update m2401 set kl=1"), Failed("sql"));
  EXPECT_EQ(db.logger.lines[0],
            (std::pair<std::string, std::string>{"system", "ERROR SQL: update m2401 set kl=1"}));
  EXPECT_EQ(db.logger.lines[1].first, "sql");
  EXPECT_EQ(db.logger.lines[2].second, "SQLtextSize: " + std::to_string(Failed("sql").size()));
  EXPECT_EQ(PatientView(db.ctx, ""), Failed("nomer"));
  EXPECT_EQ(Statements().back(), "select * FROM m2401 where kl=");

  Connection bad;
  bad.SetConnectionString("Data Source=" + (db.folder.path() / "missing").string());
  DatabaseContext badCtx{bad, db.SQL, db.logger, db.clock, db.regional};
  EXPECT_THROW(RenderTableXml(badCtx, "nomer", "select * from m2401"), ConnectionError);
}

TEST_F(TableXmlTest, SpecExportHasSevenPiecesEachOnItsOwn) {
  MakeTable(db.folder.path(), "ci003", {F("nb", FT::kNumeric, 3), F("name", FT::kCharacter, 10)},
            {{N(2), T("b")}, {N(1), T(A("а"))}});
  MakeTable(db.folder.path(), "c2402", {F("period", FT::kNumeric, 3)}, {{N(20)}, {N(10)}});
  MakeTable(db.folder.path(), "c2404", {F("period", FT::kNumeric, 3)}, {});
  MakeTable(db.folder.path(), "c2406", {F("kw", FT::kNumeric, 5), F("dat", FT::kDate)},
            {{N(1), Day(29)}, {N(1), Day(30)}, {N(1), Day(-1)}, {N(1), Day(0)}});
  MakeTable(db.folder.path(), "c2409", {F("a", FT::kLogical)}, {{L(true)}});
  MakeTable(db.folder.path(), "ci007", {F("a", FT::kCharacter, 2)}, {{T("z")}});
  // c2403 is missing: only its own piece fails.
  EXPECT_EQ(
      SpecExport(db.ctx),
      "<table name=ci003>\r\n<field>nb;name;</field>\r\n<data>\r\n1\t" + A("а") +
          "\t\r\n2\tb\t\r\n</data>\r\n"
          "</table>\r\n"
          "<table "
          "name=c2402>\r\n<field>period;</field>\r\n<data>\r\n10\t\r\n20\t\r\n</data>\r\n</table>\r\n" +
          Empty("c2404", "period;") + Failed("c2403") +
          "<table name=c2406>\r\n<field>kw;dat;</field>\r\n<data>\r\n1\t07.12.2026\t\r\n1\t05.01.2027\t\r\n"
          "</data>\r\n</table>\r\n"
          "<table name=c2409>\r\n<field>a;</field>\r\n<data>\r\nTrue\t\r\n</data>\r\n</table>\r\n"
          "<table name=ci007>\r\n<field>a;</field>\r\n<data>\r\nz\t\r\n</data>\r\n</table>\r\n");
  MakeTable(db.folder.path(), "ci004", {F("grp", FT::kCharacter, 3)}, {{T("g1")}});
  EXPECT_EQ(GroupListExport(db.ctx),
            "<table name=ci004>\r\n<field>grp;</field>\r\n<data>\r\ng1\t\r\n</data>\r\n</table>\r\n");
}

TEST_F(TableXmlTest, DateWindowAndPatientViewsTakeOnlyWholeNumbers) {
  MakeTable(db.folder.path(), "m2401", M2401Fields(),
            {{N(2), Day(-2), T("10:00"), N(7)},
             {N(1), Day(1), T("09:00"), N(7)},
             {N(1), Day(0), T("08:00"), N(8)}});
  const std::string head =
      "select kw,dat,tim,kl,filtr,phone,ist_zap,fiol,fam_reg,dt_zap,data_naz,polis FROM m2401 where "
      "(dat>=DATE()-";
  DateWindowView(db.ctx, "", "");
  DateWindowView(db.ctx, "", "5");
  DateWindowView(db.ctx, "-3", "002");
  std::string twoDays = DateWindowView(db.ctx, "2", "1");
  EXPECT_EQ(Statements(), (std::vector<std::string>{head + "0) and (dat<=DATE()+0) ORDER by kw,dat,tim",
                                                    head + "0) and (dat<=DATE()+5) ORDER by kw,dat,tim",
                                                    head + "-3) and (dat<=DATE()+2) ORDER by kw,dat,tim",
                                                    head + "2) and (dat<=DATE()+1) ORDER by kw,dat,tim"}));
  EXPECT_NE(twoDays.find("<data>\r\n1\t07.12.2026\t08:00\t8\t"), std::string::npos);
  EXPECT_NE(twoDays.find("\r\n1\t08.12.2026\t09:00\t7\t"), std::string::npos);
  EXPECT_NE(twoDays.find("\r\n2\t05.12.2026\t10:00\t7\t"), std::string::npos);

  db.logger.lines.clear();
  EXPECT_EQ(DateWindowView(db.ctx, "1) or (1=1", "0"),
            "<table name=nomer>\r\n<field></field>\r\n<data>\r\n<error>Field 2 (days back) is not a whole "
            "number</error>\r\n</table>\r\n");
  EXPECT_NE(
      DateWindowView(db.ctx, "1", "x").find("<error>Field 3 (days forward) is not a whole number</error>"),
      std::string::npos);
  for (const char* field : {"-", "+2", " 2", "2147483648", "-2147483649"})
    EXPECT_NE(DateWindowView(db.ctx, field, "1").find("Field 2"), std::string::npos) << field;
  EXPECT_NE(PatientView(db.ctx, "7 or 1=1").find("<error>Field 2 (patient id) is not a whole number</error>"),
            std::string::npos);
  EXPECT_TRUE(db.logger.lines.empty());  // nothing ran

  // The number goes into the statement written anew: leading zeros go, however many.
  std::string patient = PatientView(db.ctx, "00000000007");
  EXPECT_EQ(Statements().back(), "select * FROM m2401 where kl=7");
  EXPECT_NE(
      patient.find("<field>kw;dat;tim;kl;polis;fiol;ist_zap;filtr;phone;fam_reg;dt_zap;data_naz;ntal;tel;"
                   "</field>"),
      std::string::npos);
  EXPECT_EQ(std::count(patient.begin(), patient.end(), '\n'), 7);  // two rows
}

}  // namespace
}  // namespace vorel::dbtest
