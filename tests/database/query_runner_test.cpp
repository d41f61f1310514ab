// The connection ADO, the query object SQL, the query runner and the execute path.
#include <gtest/gtest.h>

#include "database/database_errors.h"
#include "database/run_query.h"
#include "database_test_support.h"
#include "platform/path_text.h"
#include "sql/sql_errors.h"
#include "sql/sql_test_tables.h"

namespace vorel::dbtest {
namespace {

using sqltest::F;
using sqltest::N;
using sqltest::T;
using FT = dbf::FieldType;

TEST(ConnectionString, ReadsDataSourceAndCollatingSequence) {
  ConnectionOptions o = ParseConnectionString(
      "Provider=VFPOLEDB;Data Source=C:\\Kestrum\\Data;Mode=ReadWrite;Password=\"\";Collating "
      "Sequence=RUSSIAN");
  EXPECT_EQ(o.dataSource, "C:\\Kestrum\\Data");
  EXPECT_EQ(o.collation, sql::Collation::kRussian);
  EXPECT_EQ(ParseConnectionString("data source = \"/srv/a;b\" ; collating sequence=general").dataSource,
            "/srv/a;b");
  EXPECT_EQ(ParseConnectionString("Data Source=/x").collation, sql::Collation::kMachine);
  EXPECT_THROW(ParseConnectionString("Provider=VFPOLEDB;Mode=ReadWrite"), ConnectionError);
  EXPECT_THROW(ParseConnectionString("Data Source=;"), ConnectionError);
  EXPECT_THROW(ParseConnectionString("Data Source=/x;Collating Sequence=KLINGON"), ConnectionError);
  EXPECT_THROW(ParseConnectionString("Data Source=\"/x"), ConnectionError);
}

TEST(Connection, ChecksTheFolderAndMayBeConnectedTwice) {
  DatabaseFixture db;
  db.ADO.Connect();
  EXPECT_TRUE(db.ADO.Connected());
  EXPECT_EQ(db.ADO.folder(), db.folder.path());
  EXPECT_NO_THROW(db.ADO.Connect());
  db.ADO.Disconnect();
  EXPECT_FALSE(db.ADO.Connected());

  Connection missing;
  missing.SetConnectionString("Provider=VFPOLEDB;Data Source=" + (db.folder.path() / "nope").string());
  EXPECT_THROW(missing.Connect(), ConnectionError);
  EXPECT_FALSE(missing.Connected());
  sqltest::MakeTable(db.folder.path(), "t", {F("a", FT::kNumeric, 3)}, {});
  Connection file;
  file.SetConnectionString("Data Source=" + (db.folder.path() / "t.dbf").string());
  EXPECT_THROW(file.Connect(), ConnectionError);
}

// The folder setting is text (Windows-1251) and reaches the file system in its own form (UTF-8 on POSIX,
// UTF-16 on Windows); files copied from Windows keep upper-case names.
TEST(Connection, ReadsACyrillicFolderAndTablesWhateverTheLetterCaseOfTheirFiles) {
  DatabaseFixture db;
  const std::string setting = PathText(db.folder.path() / FileSystemPath(sqltest::A("клиника")));
  const std::filesystem::path folder = FileSystemPath(setting);
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  sqltest::MakeTable(folder, "m2401", {F("kw", FT::kNumeric, 5)}, {{N(7)}});
  // In two steps: a file system that ignores letter case keeps the old name on a rename to itself.
  std::filesystem::rename(folder / "m2401.dbf", folder / "copied");
  std::filesystem::rename(folder / "copied", folder / "M2401.DBF");
  db.ADO.SetConnectionString("Data Source=" + setting);
  db.ADO.Connect();
  EXPECT_EQ(db.ADO.folder(), folder);
  RunQuery(db.ctx, "update m2401 set kw=8");
  RunQuery(db.ctx, "select kw from m2401");
  ASSERT_TRUE(db.SQL.Active());
  EXPECT_EQ(db.SQL.FieldText(0), "8");
}

TEST(Query, ClosedQueryRefusesRowsWithTheDatasetMessage) {
  DatabaseFixture db;
  EXPECT_FALSE(db.SQL.Active());
  EXPECT_TRUE(db.SQL.Fields().empty());
  try {
    db.SQL.RecordCount();
    FAIL();
  } catch (const ClosedDatasetError& e) {
    EXPECT_STREQ(e.what(), "SQL: Cannot perform this operation on a closed dataset");
  }
  EXPECT_THROW(db.SQL.First(), ClosedDatasetError);
  EXPECT_THROW(db.SQL.FieldValue(0), ClosedDatasetError);
  db.SQL.Lines() = {"select * from t"};
  EXPECT_THROW(db.SQL.Open(), QueryError);  // ADO is not connected
}

class RunQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sqltest::MakeTable(db.folder.path(), "m2401", {F("kw", FT::kNumeric, 5), F("tim", FT::kCharacter, 5)},
                       {{N(1), T("09:00")}, {N(2), T("10:00")}, {N(3), T("11:00")}});
    db.ADO.Connect();
  }
  DatabaseFixture db;
};

TEST_F(RunQueryTest, OpensTheResultAndLogsTheDuration) {
  db.clock.Arm();
  RunQuery(db.ctx, "select kw,tim from m2401 where kw>1");
  ASSERT_TRUE(db.SQL.Active());
  EXPECT_EQ(db.SQL.Lines(), (std::vector<std::string>{"select kw,tim from m2401 where kw>1"}));
  EXPECT_EQ(db.SQL.RecordCount(), 2);
  ASSERT_EQ(db.SQL.FieldCount(), 2u);
  EXPECT_EQ(db.SQL.Fields()[1].name, "tim");
  std::vector<std::string> seen;
  for (db.SQL.First(); !db.SQL.Eof(); db.SQL.Next())
    seen.push_back(db.SQL.FieldText("KW") + db.SQL.FieldText(1));
  EXPECT_EQ(seen, (std::vector<std::string>{"210:00", "311:00"}));
  EXPECT_THROW(db.SQL.FieldValue(0), QueryError);  // past the last row
  EXPECT_THROW(db.SQL.FieldValue("nosuch"), QueryError);
  ASSERT_EQ(db.logger.lines.size(), 1u);
  EXPECT_EQ(db.logger.lines[0],
            (std::pair<std::string, std::string>{"sql", " [16] select kw,tim from m2401 where kw>1"}));
  EXPECT_EQ(db.ctx.queryTimeMark, testing::FakeClock().Now());
}

TEST_F(RunQueryTest, FailureIsLoggedAndLeavesTheQueryClosed) {
  RunQuery(db.ctx, "select kw from m2401");
  const std::string statement = "select * FROM m2401 where kl=";
  db.clock.Arm();
  RunQuery(db.ctx, statement);
  EXPECT_FALSE(db.SQL.Active());
  ASSERT_EQ(db.logger.lines.size(), 3u);
  EXPECT_EQ(db.logger.lines[1], (std::pair<std::string, std::string>{"system", "ERROR SQL: " + statement}));
  EXPECT_EQ(db.logger.lines[2], (std::pair<std::string, std::string>{"sql", " [16] " + statement}));
  EXPECT_THROW(db.SQL.RecordCount(), ClosedDatasetError);
  // A statement with line breaks is run and logged as one piece.
  db.clock.Arm();
  RunQuery(db.ctx, "select kw\r\nfrom m2401");
  EXPECT_TRUE(db.SQL.Active());
  EXPECT_EQ(db.logger.lines.back().second, " [16] select kw\r\nfrom m2401");
}

TEST_F(RunQueryTest, UpdateThroughTheRunnerRunsButGivesNoResult) {
  RunQuery(db.ctx, "update m2401 set tim='12:00' where kw=1");
  EXPECT_FALSE(db.SQL.Active());
  EXPECT_EQ(db.logger.lines[0].first, "system");
  RunQuery(db.ctx, "select tim from m2401 where kw=1");
  EXPECT_EQ(db.SQL.FieldText(0), "12:00");
}

TEST_F(RunQueryTest, ExecutePathReturnsRowsAffectedAndPassesFailuresOn) {
  RunQuery(db.ctx, "select kw from m2401");
  EXPECT_EQ(ExecuteStatement(db.ctx, "UPDATE m2401 SET tim='08:00' WHERE kw>=2"), 2);
  EXPECT_FALSE(db.SQL.Active());
  EXPECT_EQ(db.SQL.Lines(), (std::vector<std::string>{"UPDATE m2401 SET tim='08:00' WHERE kw>=2"}));
  EXPECT_THROW(ExecuteStatement(db.ctx, "UPDATE m2401 SET tim='08:00' WHERE kw=='x'"), sql::SqlError);
  EXPECT_THROW(ExecuteStatement(db.ctx, "UPDATE nosuch SET a=1"), dbf::TableNotFoundError);
  EXPECT_EQ(db.logger.lines.size(), 1u);  // the execute path logs nothing
  db.ADO.Disconnect();
  EXPECT_THROW(ExecuteStatement(db.ctx, "UPDATE m2401 SET tim='08:00'"), QueryError);
}

}  // namespace
}  // namespace vorel::dbtest
