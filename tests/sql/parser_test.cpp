// Statement text that cannot be read: each error names the position of the token that does not fit.
#include <gtest/gtest.h>

#include "sql/lexer.h"
#include "sql/parser.h"
#include "sql/sql_errors.h"

namespace vorel::sql {
namespace {

size_t ErrorPosition(const std::string& text) {
  try {
    ParseStatement(text);
  } catch (const SyntaxError& e) {
    EXPECT_NE(std::string(e.what()).find("position " + std::to_string(e.position())), std::string::npos);
    return e.position();
  }
  ADD_FAILURE() << "no syntax error: " << text;
  return 0;
}

TEST(Parser, SyntaxErrorsNameThePosition) {
  EXPECT_EQ(ErrorPosition("select from m2401"), 8u);
  EXPECT_EQ(ErrorPosition("select * FROM m2401 where kl="), 30u);  // the patient view with an empty id
  EXPECT_EQ(ErrorPosition("select  from m1005 where npol<>'' and kl>0"), 9u);
  EXPECT_EQ(ErrorPosition("select * from m1005 WHERE fiol='O'Brien'"), 40u);
  EXPECT_EQ(ErrorPosition("select a from t where b = 'x"), 27u);
  EXPECT_EQ(ErrorPosition("select a from t order kw"), 23u);
  EXPECT_EQ(ErrorPosition("selec a from t"), 1u);
  EXPECT_EQ(ErrorPosition("select a from t where {^2026-02-30} < a"), 23u);
  EXPECT_EQ(ErrorPosition("select a from t where a @ 1"), 25u);
  EXPECT_EQ(ErrorPosition("update t set a where 1=1"), 16u);
  EXPECT_EQ(ErrorPosition("select a from t;;"), 17u);
  EXPECT_EQ(ErrorPosition("select 1x from t"), 8u);
  EXPECT_EQ(ErrorPosition("select " + std::string(500, '(') + "1" + std::string(500, ')') + " from t"), 208u);
  EXPECT_EQ(ErrorPosition(""), 1u);
  // Long operator chains and huge statements are refused before any recursion over them.
  std::string sum = "select kw";
  for (int i = 0; i < 1200; ++i) sum += "+kw";
  EXPECT_GT(ErrorPosition(sum + " from t"), 1000u);
  std::string wide = "select kw";
  for (int i = 0; i < 3000; ++i) wide += ",kw+1";
  EXPECT_GT(ErrorPosition(wide + " from t"), 1000u);
}

TEST(Parser, ReadsEveryStatementKindInAnyLetterCase) {
  EXPECT_TRUE(std::holds_alternative<SelectStatement>(
      ParseStatement("SELECT * FROM c2406 WHERE DATE()<=dat AND DATE()>dat-30 Order by kw,dat")));
  auto update = ParseStatement(
      "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=12 AND DTOS(dat)='20261215' "
      "AND kl=555 AND tim='09:30'");
  ASSERT_TRUE(std::holds_alternative<UpdateStatement>(update));
  EXPECT_EQ(std::get<UpdateStatement>(update).assignments.size(), 5u);
  EXPECT_TRUE(
      std::holds_alternative<InsertStatement>(ParseStatement("insert into t (a, b) values (1, 'x');")));
  EXPECT_TRUE(std::holds_alternative<DeleteStatement>(ParseStatement("Delete From t Where a=1")));
  auto create = ParseStatement("create table t (a c(10), b n(5,2) null, c d, e memo)");
  ASSERT_TRUE(std::holds_alternative<CreateTableStatement>(create));
  EXPECT_EQ(std::get<CreateTableStatement>(create).columns[1].decimals, 2);
  EXPECT_TRUE(std::get<CreateTableStatement>(create).columns[1].nullable);
  // Line breaks count as blanks.
  EXPECT_TRUE(
      std::holds_alternative<SelectStatement>(ParseStatement("select kw\r\nfrom m2401\n where kl>0")));
}

TEST(Lexer, LiteralForms) {
  auto tokens =
      Tokenize("'a' \"b\" [c] {^2026-12-15} {^2026-12-15 10:30} {} .T. .f. .NULL. 12.50 .5 <> != # ==");
  ASSERT_EQ(tokens.size(), 16u);
  EXPECT_EQ(tokens[0].text, "a");
  EXPECT_EQ(tokens[1].text, "b");
  EXPECT_EQ(tokens[2].text, "c");
  EXPECT_EQ(tokens[3].kind, TokenKind::kDate);
  EXPECT_EQ(tokens[4].kind, TokenKind::kDateTime);
  EXPECT_EQ(tokens[5].kind, TokenKind::kDate);
  EXPECT_EQ(tokens[5].moment, 0);
  EXPECT_EQ(tokens[6].kind, TokenKind::kTrue);
  EXPECT_EQ(tokens[7].kind, TokenKind::kFalse);
  EXPECT_EQ(tokens[8].kind, TokenKind::kNull);
  EXPECT_EQ(tokens[9].number, 12.5);
  EXPECT_EQ(tokens[9].decimals, 2);
  EXPECT_EQ(tokens[10].number, 0.5);
  EXPECT_EQ(tokens[14].text, "==");
  EXPECT_EQ(tokens[15].kind, TokenKind::kEnd);
}

}  // namespace
}  // namespace vorel::sql
