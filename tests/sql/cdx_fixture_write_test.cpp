// SQL writes on copies of VFP-written indexed tables: inserts that split leaves and interior nodes, updates
// that move keys within a node and across nodes and levels, deletions; after each step the check finds
// nothing and an independent walk of the tree finds exactly one entry per record, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "dbf/cdx_check.h"
#include "dbf/cdx_walk.h"
#include "dbf/table.h"
#include "sql/executor.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

class VfpFixtureWrites : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto fixtures = std::filesystem::path(VOREL_FIXTURES_DIR) / "vfp" / "foxprodb";
    for (const auto& entry : std::filesystem::directory_iterator(fixtures))
      std::filesystem::copy_file(entry.path(), folder_.path() / entry.path().filename());
    options_.folder = folder_.path();
    options_.now = LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
    options_.lockWait = std::chrono::milliseconds(400);
    options_.collation = sql::Collation::kRussian;
  }

  int64_t Run(const std::string& statement) { return sql::RunStatement(statement, options_).rowsAffected; }

  std::string Cdx(const std::string& table) {
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
      if (entry.path().stem() == table && entry.path().extension() == ".CDX")
        return testing::TempFolder::ReadFile(entry.path());
    return {};
  }

  // Check and independent walk of the tag on `field` (a character field, key = its bytes): one entry per
  // record, deleted ones included, sorted by key and record number.
  void ExpectTagTrue(const std::string& table, const std::string& tag, const std::string& field) {
    dbf::Table t = dbf::Table::Open(folder_.path(), table);
    const dbf::IndexCheckReport report = dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler());
    std::string problems;
    for (const auto& p : report.problems) problems += p + "\n";
    EXPECT_TRUE(report.ok()) << problems;
    std::vector<std::pair<std::string, uint32_t>> expected;
    dbf::TableScanner scan = t.Scan();
    dbf::RecordRef rec;
    while (scan.Next(rec))
      expected.emplace_back(std::string(dbf::DecodeText(t.GetField(field), rec.bytes)), rec.recno);
    std::sort(expected.begin(), expected.end());
    const testing::WalkedTag walked = testing::WalkTag(Cdx(table), tag, ' ');
    EXPECT_EQ(walked.problems, "");
    EXPECT_EQ(walked.entries, expected);
    levels_ = walked.levels;
  }

  testing::TempFolder folder_;
  sql::ExecutionOptions options_;
  int levels_ = 0;
};

TEST_F(VfpFixtureWrites, KeysMoveWithinAndAcrossNodesAndLevels) {
  ExpectTagTrue("setup", "KEY_NAME", "key_name");
  EXPECT_EQ(levels_, 1);
  // Inserts in scattered key order: leaves split, then the interior level (8 entries of 58 bytes) splits.
  for (int i = 0; i < 700; ++i) {
    const int n = (i * 337) % 700;
    ASSERT_EQ(Run("INSERT INTO setup (key_name, value) VALUES ('K" + std::to_string(1000 + n) + " name', " +
                  std::to_string(n) + ")"),
              1);
  }
  ExpectTagTrue("setup", "KEY_NAME", "key_name");
  EXPECT_GE(levels_, 3);
  // One key moves within its node; many move to the far end of the tree and back to its start.
  EXPECT_EQ(Run("UPDATE setup SET key_name='K1005 namf' WHERE value=5"), 1);
  ExpectTagTrue("setup", "KEY_NAME", "key_name");
  EXPECT_GE(Run("UPDATE setup SET key_name='Z'+key_name WHERE value<300"), 300);
  ExpectTagTrue("setup", "KEY_NAME", "key_name");
  EXPECT_GE(Run("UPDATE setup SET key_name='A'+key_name WHERE value>=600"), 100);
  ExpectTagTrue("setup", "KEY_NAME", "key_name");
  // Deleted records keep their keys.
  EXPECT_EQ(Run("DELETE FROM setup WHERE value>=300 AND value<350"), 50);
  ExpectTagTrue("setup", "KEY_NAME", "key_name");
}

TEST_F(VfpFixtureWrites, CandidateViolationFailsCleanly) {
  const std::string dbf = testing::TempFolder::ReadFile(folder_.path() / "calls.dbf"), cdx = Cdx("calls");
  for (const char* s : {"UPDATE calls SET call_id=3 WHERE call_id=4",
                        "INSERT INTO calls (call_id, contact_id) VALUES (7, 1)"}) {
    try {
      Run(s);
      ADD_FAILURE() << s;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find("Uniqueness of index CALL_ID"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(testing::TempFolder::ReadFile(folder_.path() / "calls.dbf"), dbf);
  EXPECT_EQ(Cdx("calls"), cdx);
  // Swapping through a free value works.
  EXPECT_EQ(Run("UPDATE calls SET call_id=1000 WHERE call_id=4"), 1);
  EXPECT_EQ(Run("UPDATE calls SET call_id=4 WHERE call_id=3"), 1);
  dbf::Table t = dbf::Table::Open(folder_.path(), "calls");
  EXPECT_TRUE(dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler()).ok());
}

}  // namespace
}  // namespace vorel
