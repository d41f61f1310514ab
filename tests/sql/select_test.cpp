// The SELECT statements the service runs, over tables built for them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "dbf/dbf_errors.h"
#include "sql/sql_errors.h"
#include "sql_test_tables.h"
#include "support/temp_folder.h"

namespace vorel::sqltest {
namespace {

using FT = dbf::FieldType;

// Today is 2026-12-25, so that today + 15 lies in the next year.
constexpr int64_t kToday = JulianDayFromCivil(2026, 12, 25);
sql::Value Day(int offset) {
  return sql::Value::Date(kToday + offset);
}

class SelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.folder = folder_.path();
    options_.collation = sql::Collation::kRussian;
    options_.now = LocalDateTime{2026, 12, 25, 11, 0, 0, 0};
  }

  sql::ResultSet Run(const std::string& statement) { return sql::RunStatement(statement, options_).rows; }

  // One column of the result as numbers.
  static std::vector<double> Numbers(const sql::ResultSet& r, size_t column) {
    std::vector<double> out;
    for (size_t i = 0; i < r.rowCount(); ++i) out.push_back(r.Get(i, column).number);
    return out;
  }
  static std::vector<std::string> Texts(const sql::ResultSet& r, size_t column) {
    std::vector<std::string> out;
    for (size_t i = 0; i < r.rowCount(); ++i) out.emplace_back(r.Get(i, column).text);
    return out;
  }
  static std::vector<std::string> Names(const sql::ResultSet& r) {
    std::vector<std::string> out;
    for (const sql::Column& c : r.columns()) out.push_back(c.name);
    return out;
  }

  // kw, dat, tim, kl, polis, fiol, ist_zap
  void MakeGrid(const std::vector<std::vector<sql::Value>>& rows) {
    MakeTable(folder_.path(), "m2401", M2401Fields(), rows);
  }

  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
};

TEST_F(SelectTest, FreeSlotExportStatement) {
  MakeGrid({
      {N(1), Day(0), T("09:00"), N(0), T(""), T(""), T("2")},
      {N(2), Day(15), T("10:00"), N(0), T(""), T(""), T("12")},
      {N(3), Day(16), T("10:00"), N(0), T(""), T(""), T("2")},
      {N(4), Day(-1), T("10:00"), N(0), T(""), T(""), T("2")},
      {N(5), Day(0), T(""), N(0), T(""), T(""), T("2")},
      {N(6), Day(0), T("11:00"), N(5), T(""), T(""), T("2")},
      {N(7), Day(0), T("11:00"), N(0), T(""), T(A("  Петров")), T("2")},
      {N(8), Day(0), T("11:00"), N(0), T(""), T(""), T("1")},
      {N(9), Day(3), T("12:00"), N(-1), T(""), T("   "), T(" 2 ")},
      {N(10), Day(1), T("12:00"), N(0), T(""), T(""), T("2")},
      {N(11), EmptyDate(), T("12:00"), N(0), T(""), T(""), T("2")},
  });
  MarkDeleted(folder_.path(), "m2401", 10);
  auto r =
      Run("select dat,tim,kw FROM m2401 where trim(tim)<>'' and (dat>=DATE()) and (dat<=DATE()+15) and "
          "(kl<1) and "
          "(allt(fiol)='') and (ist_zap like '%2%')");
  EXPECT_EQ(Names(r), (std::vector<std::string>{"dat", "tim", "kw"}));
  EXPECT_EQ(Numbers(r, 2), (std::vector<double>{1, 2, 9}));
  EXPECT_EQ(r.Get(1, 0).moment, JulianDayFromCivil(2027, 1, 9));
  EXPECT_EQ(r.columns()[0].type, FT::kDate);
  EXPECT_EQ(r.columns()[1].type, FT::kCharacter);
  EXPECT_EQ(r.columns()[1].width, 5);
  EXPECT_EQ(r.columns()[2].type, FT::kNumeric);
  EXPECT_EQ(r.columns()[2].width, 5);
}

TEST_F(SelectTest, BusySlotExportStatementOrdersByKwDatTim) {
  MakeGrid({
      {N(20), Day(2), T("10:00"), N(7)},
      {N(10), Day(2), T("11:00"), N(0), T("4455")},
      {N(10), Day(1), T("12:00"), N(3)},
      {N(10), Day(1), T("09:00"), N(3)},
      {N(30), Day(1), T("09:00"), N(0), T("   ")},
      {N(40), Day(16), T("09:00"), N(3)},
      {N(50), Day(-1), T("09:00"), N(3)},
  });
  auto r =
      Run("select dat,tim,kw,kl,polis FROM m2401 where (dat>=DATE()) and (dat<=DATE()+15) and ((kl>0) or "
          "(trim(polis)<>'')) ORDER by kw,dat,tim");
  EXPECT_EQ(Numbers(r, 2), (std::vector<double>{10, 10, 10, 20}));
  EXPECT_EQ(Texts(r, 1), (std::vector<std::string>{"09:00", "12:00", "11:00", "10:00"}));
  EXPECT_EQ(r.Get(2, 4).text, "4455                ");  // character columns keep their width
}

TEST_F(SelectTest, ReferenceWindowOfC2406) {
  MakeTable(
      folder_.path(), "c2406", {F("kw", FT::kNumeric, 5), F("dat", FT::kDate), F("prim", FT::kCharacter, 10)},
      {{N(2), Day(29)}, {N(1), Day(30)}, {N(1), Day(0)}, {N(2), Day(-1)}, {N(1), Day(5)}, {N(2), Day(0)}});
  auto r = Run("SELECT * FROM c2406 WHERE DATE()<=dat AND DATE()>dat-30 Order by kw,dat");
  EXPECT_EQ(Names(r), (std::vector<std::string>{"kw", "dat", "prim"}));
  ASSERT_EQ(r.rowCount(), 4u);
  EXPECT_EQ(Numbers(r, 0), (std::vector<double>{1, 1, 2, 2}));
  EXPECT_EQ(r.Get(0, 1).moment, kToday);
  EXPECT_EQ(r.Get(1, 1).moment, kToday + 5);
  EXPECT_EQ(r.Get(3, 1).moment, kToday + 29);
}

TEST_F(SelectTest, PatientStatementsCompareByCollationAndPadding) {
  using FT = dbf::FieldType;
  MakeTable(folder_.path(), "m1005",
            {F("npol", FT::kCharacter, 20), F("kl", FT::kNumeric, 10), F("fiol", FT::kCharacter, 30),
             F("im", FT::kCharacter, 20), F("ot", FT::kCharacter, 20), F("uch", FT::kCharacter, 5),
             F("lpu1", FT::kNumeric, 6), F("probc", FT::kNumeric, 4), F("data_r", FT::kDate)},
            {{T("1234567"), N(555), T(A("ИВАНОВ")), T(A("Иван"))},
             {T("123"), N(556), T(A("Иванова")), T(A("Анна"))},
             {T(""), N(557), T(A("Петров"))},
             {T("777"), N(0), T(A("иванов"))},
             {T("888"), N(558), T(A("Ёлкин"))}});
  auto load =
      Run("select npol,kl,fiol,im,ot,uch,npol,kl,lpu1,probc,data_r from m1005 where npol<>'' and kl>0");
  EXPECT_EQ(Names(load), (std::vector<std::string>{"npol", "kl", "fiol", "im", "ot", "uch", "npol", "kl",
                                                   "lpu1", "probc", "data_r"}));
  EXPECT_EQ(Numbers(load, 1), (std::vector<double>{555, 556, 558}));
  EXPECT_EQ(load.FindColumn("KL"), 1);

  auto user = Run("select npol,kl from m1005 WHERE fiol='" + A("Иванов") + "'");
  EXPECT_EQ(Numbers(user, 1), (std::vector<double>{555, 0}));
  auto yo = Run("select kl from m1005 WHERE fiol='" + A("Елкин") + "'");
  EXPECT_EQ(yo.rowCount(), 0u);
  auto polis = Run("select kl from m1005 WHERE npol='123'");
  EXPECT_EQ(Numbers(polis, 0), (std::vector<double>{556}));
}

TEST_F(SelectTest, BookingLookupsBySlotKeyAndLimit) {
  MakeGrid({
      {N(1203), sql::Value::Date(JulianDayFromCivil(2026, 12, 15)), T("09:30"), N(0), T(""), T(""), T("2")},
      {N(203), sql::Value::Date(JulianDayFromCivil(2026, 12, 15)), T("09:30"), N(0)},
      {N(1500), Day(3), T("10:00"), N(555), T("")},
      {N(1600), Day(-3), T("10:00"), N(555), T("")},
      {N(2500), Day(3), T("10:00"), N(555), T("")},
      {N(1700), Day(4), T("10:00"), N(0), T("1234567")},
  });
  auto slot =
      Run("select kw,kl,fiol,dat,tim,filtr from m2401 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121509:30 1203'");
  EXPECT_EQ(Numbers(slot, 0), (std::vector<double>{1203}));
  auto shortKw = Run("select kw from m2401 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121509:30  203'");
  EXPECT_EQ(Numbers(shortKw, 0), (std::vector<double>{203}));
  auto limit = Run("select kw,dat,tim from m2401 WHERE kl=555 AND DATE()<=dat AND kw>=1000 AND kw<=1999");
  EXPECT_EQ(Numbers(limit, 0), (std::vector<double>{1500}));
  auto byPolicy = Run("select kw,dat,tim from m2401 WHERE polis='123' AND DATE()<=dat");
  EXPECT_EQ(byPolicy.rowCount(), 0u);
  auto byPolicy2 = Run("select kw,dat,tim from m2401 WHERE polis='1234567' AND DATE()<=dat");
  EXPECT_EQ(Numbers(byPolicy2, 0), (std::vector<double>{1700}));
}

TEST_F(SelectTest, DateWindowAndPatientViews) {
  MakeGrid({{N(2), Day(-3), T("10:00"), N(7)},
            {N(1), Day(0), T("10:00"), N(7)},
            {N(1), Day(-4), T("10:00"), N(8)},
            {N(1), Day(2), T("09:00"), N(7)}});
  auto window =
      Run("select kw,dat,tim,kl,filtr,phone,ist_zap,fiol,fam_reg,dt_zap,data_naz,polis FROM m2401 where "
          "(dat>=DATE()--3) and (dat<=DATE()+0) ORDER by kw,dat,tim");
  EXPECT_EQ(window.rowCount(), 0u);  // DATE()--3 is three days ahead: the window is empty
  auto back =
      Run("select kw,dat,tim,kl FROM m2401 where (dat>=DATE()-3) and (dat<=DATE()+2) ORDER by kw,dat,tim");
  EXPECT_EQ(Numbers(back, 0), (std::vector<double>{1, 1, 2}));
  auto patient = Run("select * FROM m2401 where kl=7");
  EXPECT_EQ(patient.rowCount(), 3u);
  EXPECT_EQ(patient.columnCount(), 14u);
  EXPECT_THROW(Run("select * FROM m2401 where kl="), sql::SyntaxError);
}

TEST_F(SelectTest, OrderByFollowsTheCollation) {
  MakeTable(folder_.path(), "names", {F("name", FT::kCharacter, 12), F("n", FT::kNumeric, 3)},
            {{T(A("Яковлев")), N(1)},
             {T(A("ёлкин")), N(2)},
             {T(A("Елкин")), N(3)},
             {T(A("абрамов")), N(4)},
             {T(A("Борисов")), N(5)},
             {T("Zorro"), N(6)},
             {T(A("Абрамов")), N(7)}});
  auto r = Run("select name, n from names order by name");
  EXPECT_EQ(Numbers(r, 1), (std::vector<double>{6, 4, 7, 5, 3, 2, 1}));  // equal weights keep record order
  auto desc = Run("select n from names order by 1 desc");
  EXPECT_EQ(Numbers(desc, 0), (std::vector<double>{7, 6, 5, 4, 3, 2, 1}));
  auto hidden = Run("select n from names order by name desc");
  EXPECT_EQ(Numbers(hidden, 0), (std::vector<double>{1, 2, 3, 5, 4, 7, 6}));
  options_.collation = sql::Collation::kMachine;
  auto machine = Run("select n from names order by name");
  EXPECT_EQ(Numbers(machine, 0), (std::vector<double>{6, 2, 7, 5, 3, 1, 4}));
  EXPECT_THROW(Run("select n from names order by 3"), sql::InvalidStatementError);
}

TEST_F(SelectTest, GroupByAggregatesAndNames) {
  MakeGrid({{N(3), Day(0), T("10:00"), N(1)},
            {N(1), Day(1), T("09:00"), N(2)},
            {N(3), Day(2), T("08:00"), N(4)},
            {N(2), Day(3), T("10:00")},
            {N(3), Day(4), T("10:00"), N(9)}});
  MarkDeleted(folder_.path(), "m2401", 5);
  auto byKw = Run("select kw, count(*), sum(kl), max(dat), min(tim) from m2401 group by kw");
  EXPECT_EQ(Names(byKw), (std::vector<std::string>{"kw", "cnt", "sum_kl", "max_dat", "min_tim"}));
  EXPECT_EQ(Numbers(byKw, 0), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(Numbers(byKw, 1), (std::vector<double>{1, 1, 2}));
  EXPECT_EQ(Numbers(byKw, 2), (std::vector<double>{2, 0, 5}));
  EXPECT_EQ(byKw.Get(2, 3).moment, kToday + 2);
  EXPECT_EQ(byKw.Get(2, 4).text, "08:00");
  EXPECT_EQ(byKw.columns()[3].type, FT::kDate);

  auto all = Run("select count(*), avg(kl), count(distinct kw) as kinds from m2401");
  EXPECT_EQ(Names(all), (std::vector<std::string>{"cnt", "avg_kl", "kinds"}));
  EXPECT_EQ(all.Get(0, 0).number, 4);
  EXPECT_EQ(all.Get(0, 1).number, 7.0 / 4);
  EXPECT_EQ(all.Get(0, 2).number, 3);
  auto none = Run("select count(*), sum(kl) from m2401 where .f.");
  ASSERT_EQ(none.rowCount(), 1u);
  EXPECT_EQ(none.Get(0, 0).number, 0);
  EXPECT_TRUE(none.Get(0, 1).isNull());
  auto having = Run("select kw, count(*) as n from m2401 group by kw having count(*) > 1");
  EXPECT_EQ(Numbers(having, 0), (std::vector<double>{3}));
  EXPECT_THROW(Run("select kw, tim, count(*) from m2401 group by kw"), sql::InvalidStatementError);
  EXPECT_THROW(Run("select kw from m2401 where count(*) > 1"), sql::InvalidStatementError);

  auto distinct = Run("select distinct tim from m2401");
  EXPECT_EQ(Texts(distinct, 0), (std::vector<std::string>{"10:00", "09:00", "08:00"}));
  auto named = Run("select kw as Slot, kw+1, upper(tim), 'x' from m2401 where kw=1");
  EXPECT_EQ(Names(named), (std::vector<std::string>{"slot", "exp_2", "exp_3", "exp_4"}));
  EXPECT_EQ(named.columns()[2].width, 5);
  EXPECT_EQ(named.columns()[1].type, FT::kNumeric);
}

TEST_F(SelectTest, StarHidesNullFlagsAndUnknownNamesFail) {
  MakeTable(folder_.path(), "t", {F("a", FT::kCharacter, 3, 0, true), F("b", FT::kNumeric, 3)},
            {{Null(), N(1)}, {T("x"), N(2)}});
  auto r = Run("SELECT * FROM t");
  EXPECT_EQ(Names(r), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(r.Get(0, 0).isNull());
  EXPECT_THROW(Run("select * from nosuch"), dbf::TableNotFoundError);
  try {
    Run("select a, zz from t");
    FAIL();
  } catch (const sql::UnknownColumnError& e) {
    EXPECT_STREQ(e.what(), "Column 'zz' is not found at position 11");
  }
  EXPECT_THROW(Run("select a from t order by zz"), sql::UnknownColumnError);
}

}  // namespace
}  // namespace vorel::sqltest

namespace vorel::sqltest {
namespace {

// Conditions that read the record bytes directly agree with the general evaluation of the same test (the
// column wrapped so that no fast form applies), including empty dates, nulls and odd bytes.
TEST_F(SelectTest, FastConditionsAgreeWithGeneralEvaluation) {
  MakeTable(folder_.path(), "f",
            {F("d", FT::kDate, 0, 0, true), F("n", FT::kNumeric, 6, 1, true),
             F("c", FT::kCharacter, 6, 0, true), F("k", FT::kNumeric, 3)},
            {{Day(0), N(1.5), T("a2b"), N(1)},
             {EmptyDate(), N(-3), T(""), N(2)},
             {Null(), Null(), Null(), N(3)},
             {Day(-1), N(0), T("   2  "), N(4)},
             {Day(1), N(1), T("x"), N(5)}});
  {
    // A date field holding bytes that are neither digits nor blanks.
    dbf::Table t = dbf::Table::Open(folder_.path(), "f");
    t.UpdateRecord(5, [&](uint32_t, std::string_view, std::span<char> changed) {
      std::memcpy(changed.data() + t.GetField("d").offset, "2026?225", 8);
      return true;
    });
  }
  struct Pair {
    std::string fast, general;
  };
  const std::vector<Pair> pairs = {
      {"d>=DATE()", "d+0>=DATE()"},
      {"DATE()>d", "DATE()>d+0"},
      {"d={}", "d+0={}"},
      {"d<>DATE()-1", "d+0<>DATE()-1"},
      {"n>1", "n+0>1"},
      {"0>=n", "0>=n+0"},
      {"n=1.5", "n+0=1.5"},
      {"c=''", "c+''=''"},
      {"trim(c)<>''", "trim(c)+''<>''"},
      {"allt(c)=='  '", "allt(c)+''=='  '"},
      {"c like '%2%'", "c+'' like '%2%'"},
      {"c not like '%2%'", "c+'' not like '%2%'"},
      {"not (d>=DATE()) or n>1", "not (d+0>=DATE()) or n+0>1"},
      {"d>=DATE()-1 and k>0 and d<=DATE()", "d+0>=DATE()-1 and k>0 and d+0<=DATE()"},
      {"d>={} and d<=DATE()+1", "d+0>={} and d+0<=DATE()+1"},
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(Numbers(Run("select k from f where " + p.fast), 0),
              Numbers(Run("select k from f where " + p.general), 0))
        << p.fast;
  }
  EXPECT_EQ(Numbers(Run("select k from f where d>=DATE()"), 0), (std::vector<double>{1}));
  EXPECT_EQ(Numbers(Run("select k from f where c like '%2%'"), 0), (std::vector<double>{1, 4}));
  EXPECT_EQ(Numbers(Run("select k from f where not (c like '%2%')"), 0), (std::vector<double>{2, 5}));
}

}  // namespace
}  // namespace vorel::sqltest

namespace vorel::sqltest {
namespace {

// A date window AND-ed at the top of a condition is tested first on the stored bytes of each record; the rows
// must be those of the general evaluation, for every comparison, at the window's edges, for empty dates and
// for bytes that are neither digits nor blanks, and a test that can fail must still be evaluated where the
// general order reaches it.
TEST_F(SelectTest, DateWindowTestedFirstAgreesWithGeneralEvaluation) {
  std::vector<std::vector<sql::Value>> rows;
  for (int offset = -3; offset <= 3; ++offset) rows.push_back({Day(offset), N(offset + 4), T("x")});
  rows.push_back({EmptyDate(), N(8), T("")});
  rows.push_back({Day(0), N(9), T("y")});
  MakeTable(folder_.path(), "g", {F("d", FT::kDate), F("k", FT::kNumeric, 3), F("c", FT::kCharacter, 4)},
            rows);
  {
    dbf::Table t = dbf::Table::Open(folder_.path(), "g");
    t.UpdateRecord(9, [&](uint32_t, std::string_view, std::span<char> changed) {
      std::memcpy(changed.data() + t.GetField("d").offset, "2026?225", 8);
      return true;
    });
  }
  struct Pair {
    std::string fast, general;
  };
  const std::vector<Pair> pairs = {
      {"d>=DATE()", "d+0>=DATE()"},
      {"d>DATE()", "d+0>DATE()"},
      {"d<DATE()", "d+0<DATE()"},
      {"d<=DATE()", "d+0<=DATE()"},
      {"d=DATE()", "d+0=DATE()"},
      {"d==DATE()", "d+0==DATE()"},
      {"d<>DATE()", "d+0<>DATE()"},
      {"d<{}", "d+0<{}"},
      {"d>{}", "d+0>{}"},
      {"d<={}", "d+0<={}"},
      {"d>=DATE()-1 and d<=DATE()+1", "d+0>=DATE()-1 and d+0<=DATE()+1"},
      {"k>2 and d>=DATE()-1 and d<=DATE()+2 and c<>''",
       "k+0>2 and d+0>=DATE()-1 and d+0<=DATE()+2 and c+''<>''"},
      {"(d>=DATE() and d<=DATE()+15) and (k>5 or c='')",
       "(d+0>=DATE() and d+0<=DATE()+15) and (k+0>5 or c+''='')"},
      {"d>=DATE() or k=1", "d+0>=DATE() or k+0=1"},
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(Numbers(Run("select k from g where " + p.fast), 0),
              Numbers(Run("select k from g where " + p.general), 0))
        << p.fast;
  }
  EXPECT_EQ(Numbers(Run("select k from g where d>=DATE()-1 and d<=DATE()"), 0), (std::vector<double>{3, 4}));
  // A test that fails for a record outside the window still fails the statement when it comes first...
  EXPECT_THROW(Run("select k from g where 1/(k-8)>0 and d>=DATE()"), sql::SqlError);
  // ...and is not reached when the window comes first.
  EXPECT_EQ(Numbers(Run("select k from g where d>DATE()+5 and 1/(k-8)>0"), 0), (std::vector<double>{}));
}

}  // namespace
}  // namespace vorel::sqltest

namespace vorel::sqltest {
namespace {

// A number test remembers the result for the stored text it last saw: runs of equal values, values that
// differ only in a later byte, nulls between equal values and blank values must all read as in general
// evaluation.
TEST_F(SelectTest, RepeatedNumberTestsAgreeWithGeneralEvaluation) {
  MakeTable(folder_.path(), "h",
            {F("n", FT::kNumeric, 12, 0, true), F("s", FT::kNumeric, 4, 1), F("k", FT::kNumeric, 3)},
            {{N(5), N(1.5), N(1)},
             {N(5), N(1.5), N(2)},
             {Null(), N(1.5), N(3)},
             {N(5), N(-1.5), N(4)},
             {N(500000000005), N(2), N(5)},
             {N(500000000005), N(2), N(6)},
             {N(6), N(0), N(7)},
             {N(-5), N(0), N(8)},
             {N(5), N(1.5), N(9)}});
  const std::vector<std::pair<std::string, std::string>> pairs = {{"n>=5", "n+0>=5"},
                                                                  {"n<>5", "n+0<>5"},
                                                                  {"n<6", "n+0<6"},
                                                                  {"n=500000000005", "n+0=500000000005"},
                                                                  {"s>1", "s+0>1"},
                                                                  {"s=2", "s+0=2"},
                                                                  {"n>0 and s<2", "n+0>0 and s+0<2"}};
  for (const auto& [fast, general] : pairs) {
    EXPECT_EQ(Numbers(Run("select k from h where " + fast), 0),
              Numbers(Run("select k from h where " + general), 0))
        << fast;
  }
  EXPECT_EQ(Numbers(Run("select k from h where n<>5"), 0), (std::vector<double>{5, 6, 7, 8}));
}

// Long texts: one value stays within VFP's longest string, and the rows of one statement within the memory
// limit, with a clear error instead of gigabytes taken.
TEST_F(SelectTest, LongTextsStayWithinTheirLimits) {
  MakeGrid(std::vector<std::vector<sql::Value>>(40, {N(1), Day(0), T("09:00"), N(0), T(""), T(""), T("2")}));
  options_.resultMemoryLimit = size_t{64} << 20;
  EXPECT_EQ(Run("select PADR('x',1000000) from m2401").rowCount(), 40u);
  EXPECT_EQ(Run("select PADR('x',16000000) from m2401 where recno()=1").Get(0, 0).text.size(), 16000000u);
  const auto errorOf = [&](const std::string& statement) -> std::string {
    try {
      Run(statement);
    } catch (const sql::SqlError& e) {
      return std::string(e.kind()) + ": " + e.what();
    }
    return "no error";
  };
  EXPECT_THAT(
      errorOf("select PADR('x',16000000) from m2401"),
      ::testing::HasSubstr("ResultTooLargeError: The result of the statement would hold more than 64 MB"));
  EXPECT_THAT(errorOf("select PADR('x',16000000)+PADR('x',1000000) from m2401"),
              ::testing::HasSubstr("String is too long to fit"));
  EXPECT_THAT(errorOf("select PADR('x',16777184)-'y' from m2401"), ::testing::HasSubstr("too long"));
}

// Rows given one at a time are held one at a time: the memory limit applies to each row, not to all.
TEST_F(SelectTest, StreamedRowsMeetTheMemoryLimitOneByOne) {
  const std::string megabyte(size_t{1} << 20, 'a'), fiveMegabytes(size_t{5} << 20, 'b');
  std::vector<std::vector<sql::Value>> rows(8, {T(megabyte)});
  rows.push_back({T(fiveMegabytes)});
  MakeTable(folder_.path(), "notes", {F("note", FT::kMemo)}, rows);
  options_.resultMemoryLimit = size_t{4} << 20;
  struct Counter : sql::RowSink {
    void Start(size_t) override {}
    void Row() override { ++rows; }
    size_t rows = 0;
  } sink;
  sql::ResultSet row;
  EXPECT_THROW(Run("select note from notes where recno()<9"), sql::ResultTooLargeError);
  sql::StreamStatement("select note from notes where recno()<9", options_, row, sink);
  EXPECT_EQ(sink.rows, 8u);
  EXPECT_THROW(sql::StreamStatement("select note from notes", options_, row, sink), sql::ResultTooLargeError);
  EXPECT_EQ(sink.rows, 16u);
}

}  // namespace
}  // namespace vorel::sqltest
