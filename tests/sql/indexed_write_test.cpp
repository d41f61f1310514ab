// UPDATE, INSERT and DELETE through SQL on a table with a structural index: every tag stays true.
#include <gtest/gtest.h>

#include "dbf/cdx_build.h"
#include "dbf/cdx_check.h"
#include "dbf/table.h"
#include "platform/calendar.h"
#include "sql/executor.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

class IndexedWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.folder = folder_.path();
    options_.now = LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
    options_.lockWait = std::chrono::milliseconds(400);
    const std::vector<dbf::FieldSpec> specs = {{"kw", dbf::FieldType::kNumeric, 5},
                                               {"dat", dbf::FieldType::kDate},
                                               {"tim", dbf::FieldType::kCharacter, 5},
                                               {"kl", dbf::FieldType::kNumeric, 10},
                                               {"fiol", dbf::FieldType::kCharacter, 25}};
    dbf::TableOptions unjournaled;  // the fixture is written straight; the statements under test journal
    unjournaled.journal = false;
    dbf::Table t = dbf::Table::Create(folder_.path(), "m2401", specs, {}, unjournaled);
    const char* times[] = {"08:00", "08:30", "09:00", "09:30"};
    for (int i = 0; i < 1200; ++i)
      t.AppendRecord([&](std::span<char> r) {
        dbf::EncodeInteger(t.GetField("kw"), 100 + i % 30, r);
        dbf::EncodeDate(t.GetField("dat"), JulianDayFromCivil(2026, 12, 1) + i / 120, r);
        dbf::EncodeText(t.GetField("tim"), times[(i / 30) % 4], r);
        dbf::EncodeInteger(t.GetField("kl"), i + 1, r);
      });
    const std::vector<dbf::TagSpec> tags = {{"slot", "DTOC(dat,1)+tim+str(kw,5)"},
                                            {"kl", "kl", "", true},
                                            {"fiol", "UPPER(fiol)", ".NOT.DELETED()"},
                                            {"dat", "dat"}};
    dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
  }

  std::string Problems() {
    dbf::Table t = dbf::Table::Open(folder_.path(), "m2401");
    const dbf::IndexCheckReport r = dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler());
    std::string all;
    for (const auto& p : r.problems) all += p + "\n";
    return all;
  }
  int64_t Run(const std::string& statement) { return sql::RunStatement(statement, options_).rowsAffected; }

  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
};

TEST_F(IndexedWrite, StatementsKeepEveryTagTrue) {
  EXPECT_EQ(
      Run("UPDATE m2401 SET kl=5001, fiol='IVANOV' WHERE DTOC(dat,1)+tim+str(kw,5)='2026120308:30  115'"), 1);
  EXPECT_EQ(Problems(), "");
  // Keys move across nodes: many slots to another day and time.
  EXPECT_GT(Run("UPDATE m2401 SET dat=dat+20, tim='18:00' WHERE kw<110"), 300);
  EXPECT_EQ(Problems(), "");
  for (int i = 0; i < 300; ++i)
    Run("INSERT INTO m2401 (kw, dat, tim, kl, fiol) VALUES (7, {^2027-01-05}, '07:00', " +
        std::to_string(9000 + i) + ", 'NEW " + std::to_string(i) + "')");
  EXPECT_EQ(Problems(), "");
  EXPECT_GT(Run("DELETE FROM m2401 WHERE kw=120"), 0);
  EXPECT_EQ(Problems(), "");
}

TEST_F(IndexedWrite, CandidateViolationFailsTheStatementAndChangesNothing) {
  const std::string dbf = testing::TempFolder::ReadFile(folder_.path() / "m2401.dbf");
  const std::string cdx = testing::TempFolder::ReadFile(folder_.path() / "m2401.cdx");
  EXPECT_ANY_THROW(Run("UPDATE m2401 SET kl=7 WHERE kl=8"));
  EXPECT_ANY_THROW(Run("UPDATE m2401 SET kl=2000 WHERE kw=101"));  // 40 records, one key
  EXPECT_EQ(testing::TempFolder::ReadFile(folder_.path() / "m2401.dbf"), dbf);
  EXPECT_EQ(testing::TempFolder::ReadFile(folder_.path() / "m2401.cdx"), cdx);
}

}  // namespace
}  // namespace vorel
