// Repair of damaged copies of a VFP-written indexed table: the damaged tags are rebuilt in the index file
// itself, the index as it was is kept beside it, a tag this program cannot evaluate is left as it is, and a
// table another program holds or whose tag directory is unreadable is refused with nothing written.
#include <gtest/gtest.h>

#include <functional>

#include "dbf/byte_order.h"
#include "dbf/cdx_file.h"
#include "dbf/dbf_errors.h"
#include "dbf/index_repair.h"
#include "dbf/table_locks.h"
#include "dbf_test_support.h"

namespace vorel::dbf {
namespace {

namespace fs = std::filesystem;
using testing::CopyFixture;
using testing::ReadBytes;
using testing::WriteBytes;

class IndexRepair : public ::testing::Test {
 public:
  void SetUp() override {
    CopyFixture("LICENSE-infused-dbf.txt", folder_.path());
    for (const char* f : {"calls.dbf", "calls.CDX", "calls.FPT"})
      CopyFixture(std::string("foxprodb/") + f, folder_.path());
    options_.lockWait = std::chrono::milliseconds(50);
    options_.lockRetryInterval = std::chrono::milliseconds(10);
  }

  fs::path File(const std::string& name) const { return folder_.path() / name; }
  CdxTag Tag(const std::string& name) const {
    const CdxFile cdx(SharedFile::Open(File("calls.CDX").string(), SharedFile::Mode::kRead), "calls");
    return *cdx.FindTag(name);
  }
  void Patch(const std::string& file, uint64_t offset, const std::string& bytes) {
    std::string all = ReadBytes(File(file));
    all.replace(offset, bytes.size(), bytes);
    WriteBytes(File(file), all);
  }
  // Record 1's CALL_ID changed in the table only (the field follows the deletion flag).
  void ChangeFirstKeyInTable() {
    const std::string dbf = ReadBytes(File("calls.dbf"));
    Patch("calls.dbf", LoadLe16(dbf.data() + 8) + 1, "\x63");
  }
  IndexRepairReport Repair() {
    return RepairStructuralIndex(folder_.path(), "calls", BasicKeyExpressionCompiler(), options_);
  }
  const TagRebuild& Outcome(const IndexRepairReport& r, const std::string& tag) {
    for (const TagRebuild& t : r.tags)
      if (t.tag == tag) return t;
    ADD_FAILURE() << "no report for tag " << tag;
    return r.tags.front();
  }

  testing::TempFolder folder_;
  TableOptions options_;
};

struct Damage {
  const char* what;
  std::function<void(IndexRepair&)> apply;
  const char* tag;  // the tag whose entries the repair changes (or whose old tree it could not read)
  size_t removed, added;
  bool treeUnreadable;
};

class DamagedIndex : public IndexRepair, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedIndex, IsRebuiltInPlaceWithTheOldFileKept) {
  const Damage& d = GetParam();
  d.apply(*this);
  const std::string damaged = ReadBytes(File("calls.CDX"));
  // Another program that holds the index open reads the repaired file, not a replaced one.
  const SharedFile heldOpen = SharedFile::Open(File("calls.CDX").string(), SharedFile::Mode::kRead);

  const IndexRepairReport r = Repair();
  EXPECT_FALSE(r.problems.empty());
  EXPECT_TRUE(fs::equivalent(r.backup, File("calls.CDX.BAK")));  // on Windows in any letter case
  EXPECT_EQ(ReadBytes(File("calls.CDX.BAK")), damaged);
  ASSERT_EQ(r.tags.size(), 2u);
  const TagRebuild& t = Outcome(r, d.tag);
  EXPECT_TRUE(t.rebuilt);
  EXPECT_EQ(t.entries, 16u);
  EXPECT_EQ(!t.oldTreeFault.empty(), d.treeUnreadable) << t.oldTreeFault;
  EXPECT_EQ(t.removed, d.removed);
  EXPECT_EQ(t.added, d.added);
  EXPECT_TRUE(r.after.ok()) << r.after.problems.front();
  EXPECT_GT(heldOpen.Size(), damaged.size());
  EXPECT_TRUE(Repair().problems.empty()) << "a second repair finds nothing";
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedIndex,
                         ::testing::Values(Damage{"a record's key changed in the table only",
                                                  &IndexRepair::ChangeFirstKeyInTable, "CALL_ID", 1, 1,
                                                  false},
                                           Damage{"a tag's root leaf overwritten",
                                                  [](IndexRepair& t) {
                                                    t.Patch("calls.CDX", t.Tag("CONTACT_ID").rootOffset + 20,
                                                            "\xFF\xFF\xFF\xFF");
                                                  },
                                                  "CONTACT_ID", 0, 0, true},
                                           Damage{"the free page list pointing at a page in use",
                                                  [](IndexRepair& t) {
                                                    std::string page(4, '\0');
                                                    StoreLe32(page.data(), t.Tag("CALL_ID").rootOffset);
                                                    t.Patch("calls.CDX", 4, page);
                                                  },
                                                  "CALL_ID", 0, 0, false}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(IndexRepair, AWholeIndexIsLeftAlone) {
  const std::string before = ReadBytes(File("calls.CDX"));
  EXPECT_TRUE(Repair().problems.empty());
  EXPECT_EQ(ReadBytes(File("calls.CDX")), before);
  EXPECT_FALSE(fs::exists(File("calls.CDX.BAK")));
}

TEST_F(IndexRepair, KeepsATagItCannotEvaluate) {
  const CdxTag contact = Tag("CONTACT_ID");
  Patch(
      "calls.CDX",
      contact.headerOffset + 512 + LoadLe16(ReadBytes(File("calls.CDX")).data() + contact.headerOffset + 508),
      "NOSUCH(id)");
  const std::string tree = ReadBytes(File("calls.CDX")).substr(contact.rootOffset, kCdxPageSize);
  ChangeFirstKeyInTable();
  const IndexRepairReport r = Repair();
  const TagRebuild& kept = Outcome(r, "CONTACT_ID");
  EXPECT_FALSE(kept.rebuilt);
  EXPECT_NE(kept.reason.find("NOSUCH(id)"), std::string::npos) << kept.reason;
  EXPECT_TRUE(Outcome(r, "CALL_ID").rebuilt);
  EXPECT_EQ(Tag("CONTACT_ID").rootOffset, contact.rootOffset);
  EXPECT_EQ(ReadBytes(File("calls.CDX")).substr(contact.rootOffset, kCdxPageSize), tree);
  EXPECT_TRUE(r.after.ok());
}

// Another program holding a record, or a tag directory that cannot be read: nothing is written.
TEST_F(IndexRepair, RefusesWithNothingWritten) {
  ChangeFirstKeyInTable();
  const std::string damaged = ReadBytes(File("calls.CDX"));
  {
    SharedFile other = SharedFile::Open(File("calls.dbf").string(), SharedFile::Mode::kReadWrite);
    ASSERT_TRUE(other.TryLock(kVfpLockBase - 3, 1));
    EXPECT_THROW(Repair(), RecordLockedError);
  }
  EXPECT_EQ(ReadBytes(File("calls.CDX")), damaged);
  Patch("calls.CDX", 12, std::string(2, '\0'));  // the tag directory's key length
  const std::string unreadable = ReadBytes(File("calls.CDX"));
  EXPECT_THROW(Repair(), CorruptTableError);
  EXPECT_EQ(ReadBytes(File("calls.CDX")), unreadable);
  EXPECT_FALSE(fs::exists(File("calls.CDX.BAK")));
}

}  // namespace
}  // namespace vorel::dbf
