// Expression semantics of the dialect, each checked through a SELECT over a one-record table.
#include <gtest/gtest.h>

#include "sql/sql_errors.h"
#include "sql_test_tables.h"
#include "support/temp_folder.h"

namespace vorel::sqltest {
namespace {

using FT = dbf::FieldType;

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeTable(folder_.path(), "one",
              {F("name", FT::kCharacter, 10), F("blank", FT::kCharacter, 8), F("num", FT::kNumeric, 8, 2),
               F("dat", FT::kDate), F("nul", FT::kCharacter, 5, 0, true), F("nnum", FT::kNumeric, 5, 0, true),
               F("flag", FT::kLogical), F("edat", FT::kDate), F("stamp", FT::kDateTime)},
              {{T(A("Иванов")), T(""), N(12.5), D(2026, 12, 31), Null(), Null(), L(true), EmptyDate(),
                DT(2026, 12, 31, 23, 59, 50)}});
    options_.folder = folder_.path();
    options_.collation = sql::Collation::kRussian;
    options_.now = LocalDateTime{2026, 2, 28, 10, 0, 0, 0};
  }

  sql::ResultSet Run(const std::string& statement) { return sql::RunStatement(statement, options_).rows; }

  // The value of one expression, kept alive in the result.
  sql::Value Eval(const std::string& expression) {
    last_ = Run("select " + expression + " from one");
    EXPECT_EQ(last_.rowCount(), 1u) << expression;
    return last_.Get(0, 0);
  }
  std::string Text(const std::string& expression) {
    sql::Value v = Eval(expression);
    EXPECT_EQ(v.kind, sql::ValueKind::kText) << expression;
    return std::string(v.text);
  }
  bool Where(const std::string& condition) {
    return Run("select name from one where " + condition).rowCount() == 1;
  }
  std::string DateOf(const std::string& expression) {
    sql::Value v = Eval(expression);
    EXPECT_EQ(v.kind, sql::ValueKind::kDate) << expression;
    CivilDate c = CivilFromJulianDay(v.moment);
    return std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day);
  }

  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
  sql::ResultSet last_;
};

TEST_F(ExpressionTest, TextComparisonPadsWithBlanksUnderAnsi) {
  EXPECT_TRUE(Where("blank=''"));
  EXPECT_FALSE(Where("blank<>''"));
  EXPECT_FALSE(Where("trim(blank)<>''"));
  EXPECT_TRUE(Where("allt(blank)=''"));
  EXPECT_TRUE(Where("name<>''"));
  EXPECT_FALSE(Where("allt(name)=''"));
  EXPECT_TRUE(Where("'Tom' = 'Tom   '"));
  EXPECT_FALSE(Where("'Tommy' = 'Tom'"));
  EXPECT_FALSE(Where("'Tom' = 'Tommy'"));
  EXPECT_TRUE(Where("'abc' == 'abc  '"));
  EXPECT_FALSE(Where("'ab' == 'abc'"));
}

TEST_F(ExpressionTest, AnsiOffComparesUpToTheShorterText) {
  options_.ansi = false;
  EXPECT_TRUE(Where("'Tommy' = 'Tom'"));
  EXPECT_FALSE(Where("name<>''"));
  EXPECT_FALSE(Where("'Tommy' == 'Tom'"));
}

TEST_F(ExpressionTest, RussianCollationIgnoresCaseButKeepsYo) {
  EXPECT_TRUE(Where("name='" + A("ИВАНОВ") + "'"));
  EXPECT_TRUE(Where("name='" + A("иванов") + "'"));
  EXPECT_FALSE(Where("name=='" + A("ИВАНОВ") + "'"));
  EXPECT_FALSE(Where("'" + A("ЁЛКИН") + "'='" + A("ЕЛКИН") + "'"));
  EXPECT_TRUE(Where("'" + A("ЁЛКИН") + "'>'" + A("ЕЛКИН") + "'"));
  EXPECT_TRUE(Where("'" + A("ёлкин") + "'<'" + A("Жуков") + "'"));
  EXPECT_TRUE(Where("'GALA'='Gala'"));
  EXPECT_TRUE(Where("'Zeta'<'" + A("Антонов") + "'"));  // Latin sorts before Cyrillic
  options_.collation = sql::Collation::kMachine;
  EXPECT_FALSE(Where("'GALA'='Gala'"));
  EXPECT_TRUE(Where("'GALA'<'Gala'"));
}

TEST_F(ExpressionTest, NullsMakeComparisonsUnknownWithThreeValuedLogic) {
  EXPECT_FALSE(Where("nul=''"));
  EXPECT_FALSE(Where("nul<>''"));
  EXPECT_FALSE(Where("not (nul<>'')"));
  EXPECT_FALSE(Where("nnum>0 and .t."));
  EXPECT_TRUE(Where("nnum>0 or .t."));
  EXPECT_FALSE(Where(".f. and nnum>0"));
  EXPECT_FALSE(Where("nnum>0 or .f."));
  EXPECT_TRUE(Where("nul is null"));
  EXPECT_TRUE(Where("isnull(nnum+1)"));
  EXPECT_TRUE(Where("num is not null"));
  EXPECT_EQ(Eval("nvl(nnum, 7)").number, 7);
  EXPECT_TRUE(Eval("null").isNull());
  EXPECT_FALSE(Eval("empty(nul)").logical);
  EXPECT_TRUE(Where("nnum in (1, 2) or .t."));
  EXPECT_FALSE(Where("5 in (1, nnum)"));
  EXPECT_TRUE(Where("5 in (1, nnum, 5)"));
}

TEST_F(ExpressionTest, DateArithmeticAcrossMonthAndYearEnds) {
  EXPECT_EQ(DateOf("dat+1"), "2027-1-1");
  EXPECT_EQ(DateOf("dat-365"), "2025-12-31");
  EXPECT_EQ(DateOf("DATE()+1"), "2026-3-1");  // 2026 is no leap year
  EXPECT_EQ(DateOf("DATE()-30"), "2026-1-29");
  EXPECT_EQ(DateOf("{^2024-02-28}+1"), "2024-2-29");
  EXPECT_EQ(DateOf("1+{^2024-02-29}"), "2024-3-1");
  EXPECT_EQ(DateOf("dat+1.9"), "2027-1-1");  // fractions of a day are dropped
  EXPECT_EQ(Eval("dat-{^2026-01-01}").number, 364);
  EXPECT_EQ(Eval("dat-DATE()").number, 306);
  EXPECT_EQ(Text("DTOS(dat+1)"), "20270101");
  EXPECT_EQ(Text("DTOC(dat,1)"), "20261231");
  EXPECT_EQ(Text("DTOC(dat)"), "31.12.2026");
  EXPECT_EQ(Text("DTOS(edat)"), "        ");
  EXPECT_EQ(DateOf("gomonth({^2026-01-31},1)"), "2026-2-28");
  EXPECT_EQ(DateOf("ctod('01.03.2026')"), "2026-3-1");
  EXPECT_EQ(Eval("year(dat)").number, 2026);
  EXPECT_EQ(Eval("day(dat+1)").number, 1);
  // Date-times move by seconds.
  sql::Value t = Eval("stamp+10");
  ASSERT_EQ(t.kind, sql::ValueKind::kDateTime);
  EXPECT_EQ(Text("TTOC(stamp+10,1)"), "20270101000000");
  EXPECT_EQ(Eval("stamp-dtot(dat)").number, 86390);
  EXPECT_EQ(DateOf("ttod(stamp)"), "2026-12-31");
  // The empty date sorts first and stays empty.
  EXPECT_TRUE(Where("edat<dat"));
  EXPECT_FALSE(Where("edat>=DATE()"));
  EXPECT_TRUE(Where("empty(edat+1)"));
}

TEST_F(ExpressionTest, StrRightAlignsRoundsAndOverflows) {
  EXPECT_EQ(Text("str(1203,5)"), " 1203");
  EXPECT_EQ(Text("str(7,5)"), "    7");
  EXPECT_EQ(Text("str(12)"), "        12");
  EXPECT_EQ(Text("str(123456,5)"), "*****");
  EXPECT_EQ(Text("str(-1234,4)"), "****");
  EXPECT_EQ(Text("str(1.005,8,2)"), "    1.01");
  EXPECT_EQ(Text("str(2.5,3)"), "  3");
  EXPECT_EQ(Text("str(-2.5,3)"), " -3");
  EXPECT_EQ(Text("str(123.456,5,2)"), "123.5");  // decimals give way first
  EXPECT_EQ(Text("str(num,8,2)"), "   12.50");
  EXPECT_EQ(Text("str(-0.001,6,2)"), "  0.00");
}

TEST_F(ExpressionTest, StringOperatorsAndFunctions) {
  EXPECT_EQ(Text("'ab  ' + 'cd'"), "ab  cd");
  EXPECT_EQ(Text("'ab  ' - 'cd'"), "abcd  ");
  EXPECT_TRUE(Where("'2' $ '1,2,3'"));
  EXPECT_FALSE(Where("'4' $ '1,2,3'"));
  EXPECT_EQ(Text("trim(name)"), A("Иванов"));
  EXPECT_EQ(Text("ltrim('  a ')"), "a ");
  EXPECT_EQ(Text("alltrim('  a ')"), "a");
  EXPECT_EQ(Text("allt('  a ')"), "a");
  EXPECT_EQ(Text("ALLTR('  a ')"), "a");
  EXPECT_EQ(Text("subs('abcdef',2,3)"), "bcd");
  EXPECT_EQ(Text("substr('abc',5)"), "");
  EXPECT_EQ(Text("upper(name)"), A("ИВАНОВ    "));
  EXPECT_EQ(Text("lower('" + A("ЁЖ") + "')"), A("ёж"));
  EXPECT_EQ(Text("left('abc',2)+right('abc',1)"), "abc");
  EXPECT_EQ(Text("padl('7',3,'0')"), "007");
  EXPECT_EQ(Text("padr('ab',4)"), "ab  ");
  EXPECT_EQ(Eval("len(name)").number, 10);
  EXPECT_EQ(Eval("val(' -12.5abc')").number, -12.5);
  EXPECT_EQ(Eval("val('abc')").number, 0);
  EXPECT_EQ(Eval("int(-7.9)").number, -7);
  EXPECT_EQ(Eval("round(2.345,2)").number, 2.35);
  EXPECT_EQ(Eval("mod(-7,3)").number, 2);
  EXPECT_EQ(Eval("iif(num>10,'big','small')").text, "big");
  EXPECT_TRUE(Eval("inlist(num, 1, 12.5)").logical);
  EXPECT_TRUE(Eval("between(num, 12, 13)").logical);
  EXPECT_TRUE(Where("num between 12 and 13"));
  EXPECT_TRUE(Where("num not between 13 and 14"));
  EXPECT_TRUE(Eval("empty(blank)").logical);
  EXPECT_EQ(Eval("recno()").number, 1);
  EXPECT_FALSE(Eval("deleted()").logical);
}

TEST_F(ExpressionTest, LikeMatchesWholeValueWithWildcards) {
  EXPECT_TRUE(Where("'x2y' like '%2%'"));
  EXPECT_TRUE(Where("'2' like '%2%'"));
  EXPECT_FALSE(Where("'x3y' like '%2%'"));
  EXPECT_TRUE(Where("'abc' like 'a_c'"));
  EXPECT_FALSE(Where("'abcd' like 'a_c'"));
  EXPECT_TRUE(Where("name like '" + A("Иван%") + "'"));
  EXPECT_FALSE(Where("name like '" + A("Иванов") + "'"));  // the trailing blanks are part of the value
  EXPECT_TRUE(Where("name like '" + A("иван%") + "'"));    // letter case by the collation
  EXPECT_TRUE(Where("name not like 'x%'"));
  EXPECT_TRUE(Where("'a%%b' like 'a%b'"));
  EXPECT_TRUE(Where("'' like '%'"));
}

TEST_F(ExpressionTest, MixedTypesAreATypeMismatch) {
  EXPECT_THROW(Run("select name from one where num = '5'"), sql::TypeMismatchError);
  EXPECT_THROW(Run("select name from one where dat = stamp"), sql::TypeMismatchError);
  EXPECT_THROW(Run("select name + 1 from one"), sql::TypeMismatchError);
  EXPECT_THROW(Run("select name from one where num"), sql::TypeMismatchError);
  EXPECT_THROW(Run("select upper(num) from one"), sql::FunctionArgumentError);
  EXPECT_THROW(Run("select num/0 from one"), sql::SqlError);
  EXPECT_THROW(Run("select substr(name,0) from one"), sql::FunctionArgumentError);
  EXPECT_THROW(Run("select dat + 1e300 from one"), sql::SqlError);
  try {
    Run("select name from one where num = 'x'");
    FAIL();
  } catch (const sql::TypeMismatchError& e) {
    EXPECT_STREQ(e.what(), "Operator/operand type mismatch at position 32");
  }
}

TEST_F(ExpressionTest, LongestAcceptedChainsEvaluate) {
  std::string sum = "num";
  for (int i = 0; i < 999; ++i) sum += "+num";
  EXPECT_EQ(Eval(sum).number, 12500);
  std::string nested = "num";
  for (int i = 0; i < 190; ++i) nested = "(" + nested + "+1)";
  EXPECT_EQ(Eval(nested).number, 202.5);
}

TEST_F(ExpressionTest, FunctionNamesResolveByUniqueCutOfFourLetters) {
  EXPECT_EQ(Text("ALLTRIM(' a ')"), "a");
  EXPECT_EQ(Text("Allt(' a ')"), "a");
  EXPECT_EQ(Text("SUBS('abc',2)"), "bc");
  EXPECT_EQ(Text("dtoc(DATE(),1)"), "20260228");
  EXPECT_THROW(Run("select 1, all(' a ') from one"), sql::UnknownFunctionError);  // fewer than four letters
  EXPECT_THROW(Run("select date('x') from one"), sql::FunctionArgumentError);
  EXPECT_THROW(Run("select nosuch(1) from one"), sql::UnknownFunctionError);
  EXPECT_THROW(Run("select str() from one"), sql::FunctionArgumentError);
}

}  // namespace
}  // namespace vorel::sqltest
