// The statement journal: its file format, its name beside the table, the staged writes it is made from, and
// what a statement does with it.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/journal.h"
#include "dbf/staged_file.h"
#include "dbf/table.h"
#include "dbf_test_support.h"
#include "platform/fault_injection.h"

namespace vorel::dbf {
namespace {

Journal Sample() {
  Journal j;
  j.headerLength = 296;
  j.recordLength = 20;
  j.countBefore = 7;
  j.countAfter = 8;
  j.counterBefore = 41;
  j.counterAfter = 42;
  j.file(JournalTarget::kTable) = {true, 437, 457};
  j.file(JournalTarget::kIndex) = {true, 2048, 2560};
  j.regions = {{JournalTarget::kTable, 436, std::string(1, '\x1a'), std::string(21, 'r')},
               {JournalTarget::kTable, 4, "\x07\0\0\0", "\x08\0\0\0"},
               {JournalTarget::kIndex, 1536, std::string(512, 'b'), std::string(1024, 'a')}};
  return j;
}

TEST(JournalFormat, ReadsBackWhatItWroteAndNothingCutShortOrChanged) {
  const std::string bytes = EncodeJournal(Sample());
  const auto back = DecodeJournal(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(EncodeJournal(*back), bytes);
  EXPECT_EQ(RecordsTouched(*back), (std::vector<uint32_t>{8}));
  EXPECT_TRUE(HeaderTouched(*back));
  for (size_t cut = 0; cut < bytes.size(); cut += 7) EXPECT_FALSE(DecodeJournal(bytes.substr(0, cut))) << cut;
  for (size_t at : {size_t{0}, size_t{20}, bytes.size() / 2, bytes.size() - 1}) {
    std::string changed = bytes;
    changed[at] ^= 0x10;
    EXPECT_FALSE(DecodeJournal(changed)) << at;
  }
}

TEST(JournalFormat, NamedAfterTheTableInItsLetterCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"/d/m2401.dbf", "/d/m2401.jnl"}, {"/d/M2401.DBF", "/d/M2401.JNL"}, {"/d/M2401.dbf", "/d/M2401.jnl"}};
  for (const auto& [table, journal] : cases) EXPECT_EQ(JournalPathFor(table), std::filesystem::path(journal));
}

TEST(StagedWrites, MergeAndReadBackOverTheFile) {
  testing::TempFolder folder;
  const auto path = folder.path() / "f";
  testing::WriteBytes(path, "0123456789");
  SharedFile file = SharedFile::Open(path.string(), SharedFile::Mode::kReadWrite);
  StagedFile staged(file);
  staged.WriteAt(2, std::string("ab"));
  staged.WriteAt(5, std::string("cd"));
  staged.WriteAt(4, std::string("X"));  // touches both: one range 2..6
  staged.WriteAt(7, std::string("e"));  // extends it at its end
  staged.WriteAt(3, std::string("Y"));  // inside it
  staged.WriteAt(12, std::string("zz"));
  ASSERT_EQ(staged.writes().size(), 2u);
  EXPECT_EQ(staged.writes().begin()->second, "aYXcde");
  std::string all(16, '?');
  EXPECT_EQ(staged.ReadAt(0, all), 14u);
  EXPECT_EQ(all.substr(0, 14), std::string("01aYXcde89\0\0zz", 14));
  EXPECT_EQ(staged.Size(), 14u);
  EXPECT_EQ(testing::ReadBytes(path), "0123456789");  // nothing reached the file
}

class JournaledTable : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<FieldSpec> fields = {{"n", FieldType::kNumeric, 4}};
    Table t = Table::Create(folder_.path(), "t", fields);
    t.AppendRecord([&](std::span<char> r) { EncodeInteger(t.GetField("n"), 1, r); });
  }
  std::filesystem::path Journal() const { return folder_.path() / "t.jnl"; }
  testing::TempFolder folder_;
};

TEST_F(JournaledTable, AWriteFindingAnotherWritersJournalRefusesAndLeavesItToTheNextOpen) {
  Table t = Table::Open(folder_.path(), "t");
  testing::WriteBytes(Journal(), "left by a program that stopped while writing it");
  EXPECT_THROW(t.SetDeleted(1), TableFileError);
  EXPECT_FALSE(t.recoveryPending());               // it appeared after the open
  Table again = Table::Open(folder_.path(), "t");  // a journal that is not whole: nothing was written yet
  EXPECT_FALSE(std::filesystem::exists(Journal()));
  again.SetDeleted(1);
}

// One journal and the same flushes for a statement of one record as for one of many scattered records.
TEST_F(JournaledTable, AStatementFlushesAsOftenWhateverNumberOfRecordsItWrites) {
  Table t = Table::Open(folder_.path(), "t");
  for (int i = 2; i <= 200; ++i)
    t.AppendRecord([&](std::span<char> r) { EncodeInteger(t.GetField("n"), i, r); });
  std::vector<uint32_t> every3rd;
  for (uint32_t recno = 1; recno <= 200; recno += 3) every3rd.push_back(recno);
  auto flushesAndJournals = [&](std::span<const uint32_t> recnos) {
    SetFaultPlan({});
    t.UpdateRecords(recnos, [&](uint32_t, std::string_view, std::span<char> r) {
      r[0] = kRecordDeleted;
      return true;
    });
    return std::pair(FileOperationCount(FileOperation::kFlush), FileOperationCount(FileOperation::kCreate));
  };
  const auto one = flushesAndJournals(std::span(every3rd).first(1));
  EXPECT_EQ(one.second, 1u);
  EXPECT_EQ(flushesAndJournals(every3rd), one);
}

}  // namespace
}  // namespace vorel::dbf
