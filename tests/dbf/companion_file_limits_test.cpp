// The index and memo files of a table under writes: they stay below VFP's lock bytes, and a free-page list
// that would hand out a live page is not trusted.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/byte_order.h"
#include "dbf/cdx_check.h"
#include "dbf/cdx_file.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"
#include "dbf_test_support.h"

namespace vorel::dbf {
namespace {

using testing::CopyFixture;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class CompanionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"calls.dbf", "calls.CDX", "calls.FPT"})
      CopyFixture(std::string("foxprodb/") + f, folder.path());
  }
  std::filesystem::path File(const char* name) const { return folder.path() / name; }
  // Appends records with new keys and a memo value, `count` of them or until one fails; the failure's text.
  std::string Append(int count) {
    Table t = Table::Open(folder.path(), "calls");
    for (int i = 0; i < count; ++i) {
      dbfBefore = ReadBytes(File("calls.dbf"));
      try {
        t.AppendRecord([&](std::span<char> r) {
          EncodeInteger(t.GetField("call_id"), 1000 + i, r);
          EncodeInteger(t.GetField("contact_id"), i % 7, r);
          t.WriteMemo(t.GetField("notes"), "note", r);
        });
      } catch (const TableFileError& e) {
        return e.what();
      }
    }
    return "";
  }
  std::string Problems() {
    Table t = Table::Open(folder.path(), "calls");
    std::string all;
    for (const auto& p : CheckTableIndex(t, BasicKeyExpressionCompiler()).problems) all += p + "\n";
    return all;
  }
  uint32_t Root(const char* tag) const {
    return CdxFile(SharedFile::Open(File("calls.CDX").string(), SharedFile::Mode::kRead), "calls")
        .FindTag(tag)
        ->rootOffset;
  }

  TempFolder folder;
  std::string dbfBefore;
};

// Sparse files stand in for big ones: near the lock bytes, and past 4 GB where a page offset once wrapped to
// 0.
TEST_F(CompanionFiles, StopBelowTheLockBytesWithNothingWritten) {
  const std::string limit = " has reached its size limit of 2 GB; nothing was written";
  const struct {
    const char* file;
    uint64_t size;
    std::string error;
  } cases[] = {{"calls.FPT", 0x7FFFFFC0, "Memo file of table calls" + limit},
               {"calls.CDX", 0x7FFFFE00, "Index of table calls" + limit},
               {"calls.CDX", 0xFFFFFF00, "Index of table calls" + limit}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " of " + std::to_string(c.size) + " bytes");
    SetUp();
    SharedFile::Open(File(c.file).string(), SharedFile::Mode::kReadWrite).Truncate(c.size);
    EXPECT_EQ(Append(300), c.error);
    EXPECT_EQ(ReadBytes(File("calls.dbf")), dbfBefore);
    EXPECT_EQ(std::filesystem::file_size(File(c.file)), c.size);
    EXPECT_EQ(Problems(), "");
  }
}

// A page is added at the end, then the list names a live page at its head, after that page, or loops.
TEST_F(CompanionFiles, FreeListThatNamesALivePageIsNotTrusted) {
  const std::string original = ReadBytes(File("calls.CDX"));
  const auto extra = static_cast<uint32_t>(original.size());
  const struct {
    const char* what;
    uint32_t head;
    uint32_t extraLinksTo;
  } cases[] = {{"live head", Root("CALL_ID"), 0},
               {"live second page", extra, Root("CONTACT_ID")},
               {"loop", extra, extra}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    std::string bytes = original + std::string(kCdxPageSize, '\0');
    StoreLe32(&bytes[4], c.head);
    StoreLe32(&bytes[extra], c.extraLinksTo);
    WriteBytes(File("calls.CDX"), bytes);
    ASSERT_NE(Problems(), "");
    EXPECT_EQ(Append(150), "");  // enough to split leaves and roots of both tags
    EXPECT_EQ(Problems(), "");
  }
}

}  // namespace
}  // namespace vorel::dbf
