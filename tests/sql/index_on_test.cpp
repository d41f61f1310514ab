// The dialect's INDEX ON: a structural index built from a statement is true, is used by later statements,
// and a statement that cannot build it leaves the table as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "dbf/cdx_check.h"
#include "dbf/index_seek.h"
#include "dbf/table.h"
#include "platform/calendar.h"
#include "sql/executor.h"
#include "sql/sql_errors.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

class IndexOn : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.folder = folder_.path();
    options_.now = LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
    const std::vector<dbf::FieldSpec> specs = {{"kw", dbf::FieldType::kNumeric, 5},
                                               {"dat", dbf::FieldType::kDate},
                                               {"tim", dbf::FieldType::kCharacter, 5},
                                               {"kl", dbf::FieldType::kNumeric, 10},
                                               {"id", dbf::FieldType::kNumeric, 6}};
    dbf::TableOptions unjournaled;  // the fixture is written straight; the statements under test journal
    unjournaled.journal = false;
    dbf::Table t = dbf::Table::Create(folder_.path(), "m2401", specs, {}, unjournaled);
    for (int i = 0; i < 3000; ++i)
      t.AppendRecord([&](std::span<char> r) {
        dbf::EncodeInteger(t.GetField("kw"), 100 + i % 40, r);
        dbf::EncodeDate(t.GetField("dat"), JulianDayFromCivil(2026, 12, 1) + i / 200, r);
        dbf::EncodeText(t.GetField("tim"), i % 2 ? "08:30" : "14:00", r);
        dbf::EncodeInteger(t.GetField("kl"), i % 7 == 0 ? 0 : i + 1, r);
        dbf::EncodeInteger(t.GetField("id"), i + 1, r);
      });
  }
  std::string Problems() {
    dbf::Table t = dbf::Table::Open(folder_.path(), "m2401");
    std::string all;
    for (const auto& p : dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler()).problems) all += p + "\n";
    return all;
  }
  size_t Count(const std::string& select) { return sql::RunStatement(select, options_).rows.rowCount(); }
  std::string Bytes(const char* name) { return testing::TempFolder::ReadFile(folder_.path() / name); }

  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
};

TEST_F(IndexOn, BuildsATrueTagThatLaterStatementsKeepAndUse) {
  options_.collation = sql::Collation::kRussian;
  sql::RunStatement("INDEX ON DTOC(dat,1)+tim+str(kw,5) TAG slot OF m2401 FOR .NOT.DELETED()", options_);
  EXPECT_EQ(Problems(), "");
  {
    dbf::Table t = dbf::Table::Open(folder_.path(), "m2401");
    dbf::IndexReader reader(t, dbf::BasicKeyExpressionCompiler());
    ASSERT_EQ(reader.tags().size(), 1u);
    EXPECT_EQ(reader.tags()[0].name, "SLOT");
    EXPECT_EQ(reader.tags()[0].keyExpression, "DTOC(dat,1)+tim+str(kw,5)");
    EXPECT_EQ(reader.tags()[0].forExpression, ".NOT.DELETED()");
    EXPECT_EQ(reader.tags()[0].collation, "RUSSIAN");
  }
  // Writes through the new tag keep it true: freeing slots, deleting some, booking one by its key.
  const size_t freed = Count("SELECT kl FROM m2401 WHERE kl>2990");
  ASSERT_GT(freed, 0u);
  EXPECT_EQ(sql::RunStatement("UPDATE m2401 SET kl=0 WHERE kl>2990", options_).rowsAffected,
            static_cast<int64_t>(freed));
  EXPECT_GT(sql::RunStatement("DELETE FROM m2401 WHERE kw=121", options_).rowsAffected, 0);
  EXPECT_EQ(Problems(), "");
  EXPECT_EQ(Count("SELECT kw FROM m2401 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121514:00  120'"), 5u);
  EXPECT_EQ(
      sql::RunStatement(
          "UPDATE m2401 SET kl=77 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121514:00  120' AND kl=0", options_)
          .rowsAffected,
      1);
  EXPECT_EQ(Problems(), "");
}

TEST_F(IndexOn, CandidateAndDescendingOptions) {
  sql::RunStatement("INDEX ON kw TAG kwd OF m2401 FOR kl<>0 .AND. !DELETED() DESCENDING", options_);
  EXPECT_EQ(Problems(), "");
  dbf::Table t = dbf::Table::Open(folder_.path(), "m2401");
  dbf::IndexReader reader(t, dbf::BasicKeyExpressionCompiler());
  EXPECT_TRUE(reader.tags()[0].descending);
  EXPECT_FALSE(reader.tags()[0].candidate);
  // Records leave and enter the filtered tag as their kl changes or they are deleted.
  EXPECT_GT(sql::RunStatement("UPDATE m2401 SET kl=0 WHERE kw=105", options_).rowsAffected, 0);
  EXPECT_GT(sql::RunStatement("UPDATE m2401 SET kl=9 WHERE kw=106 AND kl=0", options_).rowsAffected, 0);
  EXPECT_GT(sql::RunStatement("DELETE FROM m2401 WHERE kw=107", options_).rowsAffected, 0);
  EXPECT_EQ(Problems(), "");
}

// A table copied from Windows keeps its upper-case name; the index beside it is named the same way, so that
// the reception desk program and this service open the same file.
TEST_F(IndexOn, TheIndexFileTakesTheLetterCaseOfTheTableFile) {
  // In two steps: a file system that ignores letter case keeps the old name on a rename to itself.
  std::filesystem::rename(folder_.path() / "m2401.dbf", folder_.path() / "copied");
  std::filesystem::rename(folder_.path() / "copied", folder_.path() / "M2401.DBF");
  sql::RunStatement("INDEX ON kw TAG kw OF m2401", options_);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"M2401.CDX", "M2401.DBF"}));
  EXPECT_EQ(Count("SELECT kw FROM m2401 WHERE kw=120"), 75u);
}

TEST_F(IndexOn, FailuresLeaveTheTableAsItWas) {
  const std::string before = Bytes("m2401.dbf");
  // Duplicate keys under CANDIDATE, an expression the index cannot evaluate, an unknown field.
  EXPECT_ANY_THROW(sql::RunStatement("INDEX ON kw TAG kw OF m2401 CANDIDATE", options_));
  EXPECT_ANY_THROW(sql::RunStatement("INDEX ON kw*2 TAG kw OF m2401", options_));
  EXPECT_ANY_THROW(sql::RunStatement("INDEX ON nosuch TAG kw OF m2401", options_));
  EXPECT_ANY_THROW(sql::RunStatement("INDEX ON kw TAG too_long_name OF m2401", options_));
  EXPECT_EQ(Bytes("m2401.dbf"), before);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "m2401.cdx"));
  // Syntax: TAG and OF are required.
  EXPECT_THROW(sql::RunStatement("INDEX ON kw OF m2401", options_), sql::SyntaxError);
  EXPECT_THROW(sql::RunStatement("INDEX ON kw TAG kw", options_), sql::SyntaxError);
  EXPECT_THROW(sql::RunStatement("INDEX ON TAG kw OF m2401", options_), sql::SyntaxError);

  // A FOR clause the index cannot evaluate is refused too (text comparisons depend on the writer's settings).
  EXPECT_ANY_THROW(sql::RunStatement("INDEX ON kw TAG kw OF m2401 FOR tim='08:30'", options_));
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "m2401.cdx"));

  // The candidate tag on unique keys builds; a second INDEX ON on the indexed table is refused.
  sql::RunStatement("INDEX ON STR(id,6)+DTOS(dat) TAG uniq OF m2401 CANDIDATE", options_);
  EXPECT_EQ(Problems(), "");
  const std::string cdx = Bytes("m2401.cdx");
  EXPECT_ANY_THROW(sql::RunStatement("INDEX ON kl TAG kl OF m2401", options_));
  EXPECT_EQ(Bytes("m2401.cdx"), cdx);
}

}  // namespace
}  // namespace vorel
