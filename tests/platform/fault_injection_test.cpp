// The fault-injection seam of the file layer: which operations it counts, and what an injected failure does
// to them. (Ending the process is tried by the crash test through a child program.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/fault_injection.h"
#include "platform/file_ops.h"
#include "platform/file_write.h"
#include "platform/shared_file.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

TEST(FaultPlan, ParsesTheFourKindsAndRefusesAnythingElse) {
  EXPECT_EQ(ParseFaultPlan("kill@3").kind, FaultKind::kEndProcess);
  EXPECT_EQ(ParseFaultPlan("tear@12").at, 12u);
  EXPECT_EQ(ParseFaultPlan("eio@1").kind, FaultKind::kIoError);
  EXPECT_EQ(ParseFaultPlan("enospc@7").kind, FaultKind::kNoSpace);
  EXPECT_EQ(ParseFaultPlan("none").kind, FaultKind::kNone);
  for (const char* bad : {"", "kill", "kill@", "kill@0", "kill@x", "boom@2", "eio@2x", "eio@-1"})
    EXPECT_THROW(ParseFaultPlan(bad), FaultPlanError) << bad;
}

class FaultSeam : public ::testing::Test {
 protected:
  ~FaultSeam() override { SetFaultPlan({}); }
  std::string Read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  testing::TempFolder folder_;
};

// Each operation below counts once, in this order; a failure planned at it fails it with the file's name.
TEST_F(FaultSeam, EveryWriteFlushTruncateRenameAndRemovalCountsAndCanFail) {
  const std::string a = folder_ / "a", b = folder_ / "b", c = folder_ / "c";
  const std::vector<std::function<void()>> operations = {
      [&] { SharedFile::CreateNew(a); },
      [&] { SharedFile::Open(a, SharedFile::Mode::kReadWrite).WriteAt(0, std::string("0123456789")); },
      [&] { SharedFile::Open(a, SharedFile::Mode::kReadWrite).Sync(); },
      [&] { SharedFile::Open(a, SharedFile::Mode::kReadWrite).Truncate(8); },
      [&] { RenameFile(a, b); },
      [&] { SyncFolder(folder_.path().string()); },
      [&] { WriteWholeFile(c, "whole"); },
      [&] { RemoveFile(c); },
  };
  for (FaultKind kind : {FaultKind::kIoError, FaultKind::kNoSpace}) {
    for (size_t n = 1; n <= operations.size(); ++n) {
      SCOPED_TRACE(n);
      std::filesystem::remove_all(folder_.path());
      std::filesystem::create_directories(folder_.path());
      SetFaultPlan({kind, n});
      for (size_t i = 0; i < operations.size(); ++i) {
        if (i + 1 == n) {
          EXPECT_THROW(operations[i](), Error);
          SetFaultPlan({});
          operations[i]();  // the same operation goes through once the plan is spent
        } else {
          operations[i]();
        }
      }
    }
  }
  SetFaultPlan({});
  for (const auto& operation : operations) operation();
  EXPECT_EQ(FileOperationCount(), operations.size());
}

TEST_F(FaultSeam, AFailedWriteLeavesNothingOrHalfOnAFullDisk) {
  const std::string path = folder_ / "f";
  SharedFile file = SharedFile::CreateNew(path);
  SetFaultPlan({FaultKind::kIoError, 1});
  EXPECT_THROW(file.WriteAt(0, std::string("abcdef")), FileAccessError);
  EXPECT_EQ(Read("f"), "");
  SetFaultPlan({FaultKind::kNoSpace, 1});
  EXPECT_THROW(file.WriteAt(0, std::string("abcdef")), FileAccessError);
  EXPECT_EQ(Read("f"), "abc");
  file.WriteAt(0, std::string("abcdef"));
  EXPECT_EQ(Read("f"), "abcdef");
}

}  // namespace
}  // namespace vorel
