#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <numeric>

#include "dbf/table.h"
#include "dbf_test_support.h"

namespace vorel::dbf {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

constexpr uint64_t kVfpLockBase = 0x7FFFFFFE;
constexpr uint64_t kFoxProLockBase = 0x40000000;

// Runs `body` in a child process; its exit status is 0 when body returns true.
pid_t StartChild(const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  return pid;
}

int WaitChild(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child that holds one-byte locks until the parent says so (or for a fixed time).
class LockHolder {
 public:
  LockHolder(const std::filesystem::path& file, std::vector<uint64_t> offsets,
             std::chrono::milliseconds holdFor = std::chrono::milliseconds(-1)) {
    EXPECT_EQ(pipe(ready_), 0);
    EXPECT_EQ(pipe(release_), 0);
    pid_ = StartChild([&] {
      close(ready_[0]);
      close(release_[1]);
      SharedFile f = SharedFile::Open(file.string(), SharedFile::Mode::kReadWrite);
      for (uint64_t offset : offsets)
        if (!f.TryLock(offset, 1)) return false;
      EXPECT_EQ(write(ready_[1], "x", 1), 1);
      if (holdFor.count() >= 0) {
        usleep(static_cast<useconds_t>(holdFor.count() * 1000));
      } else {
        char c;
        (void)!read(release_[0], &c, 1);
      }
      return true;
    });
    close(ready_[1]);
    close(release_[0]);
    char c;
    EXPECT_EQ(read(ready_[0], &c, 1), 1) << "the child could not take its locks";
    close(ready_[0]);
  }
  ~LockHolder() { Release(); }
  void Release() {
    if (pid_ <= 0) return;
    close(release_[1]);
    EXPECT_EQ(WaitChild(pid_), 0);
    pid_ = 0;
  }

 private:
  int ready_[2]{};
  int release_[2]{};
  pid_t pid_ = 0;
};

class RecordLocks : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<FieldSpec> specs = {{"a", FieldType::kNumeric, 8}, {"b", FieldType::kNumeric, 8}};
    Table t = Table::Create(folder.path(), "t", specs);
    for (int i = 0; i < 20; ++i)
      t.AppendRecord([&](std::span<char> r) {
        EncodeInteger(t.GetField("a"), 0, r);
        EncodeInteger(t.GetField("b"), 0, r);
      });
    path = t.path();
    recordOffset2 = t.layout().RecordOffset(2);
  }
  TableOptions ShortWait() const {
    TableOptions o;
    o.lockWait = std::chrono::milliseconds(700);
    o.lockRetryInterval = std::chrono::milliseconds(100);
    return o;
  }
  static std::vector<uint32_t> AllRecords() {
    std::vector<uint32_t> all(20);
    std::iota(all.begin(), all.end(), 1u);
    return all;
  }
  static RecordChange SetA(const Table& t, int value) {
    return [&t, value](uint32_t, std::string_view, std::span<char> r) {
      EncodeInteger(t.GetField("a"), value, r);
      return true;
    };
  }

  TempFolder folder;
  std::filesystem::path path;
  uint64_t recordOffset2 = 0;
};

TEST_F(RecordLocks, TwoProcessesUpdatingDifferentFieldsLoseNoUpdate) {
  constexpr int kRounds = 60;
  auto worker = [&](const char* field) {
    return [&, field] {
      TableOptions o;
      o.lockWait = std::chrono::seconds(60);
      o.lockRetryInterval = std::chrono::milliseconds(1);
      Table t = Table::Open(folder.path(), "t", o);
      const Field& f = t.GetField(field);
      std::vector<uint32_t> all;
      for (uint32_t n = 1; n <= t.recordCount(); ++n) all.push_back(n);
      for (int round = 0; round < kRounds; ++round) {
        // Half the rounds one record at a time, half the whole table in one update.
        auto add = [&](uint32_t, std::string_view fresh, std::span<char> r) {
          EncodeNumber(f, DecodeNumeric(f, fresh).value + 1, r);
          return true;
        };
        if (round % 2 == 0) {
          for (uint32_t n : all) t.UpdateRecord(n, add);
        } else {
          t.UpdateRecords(all, add);
        }
      }
      return true;
    };
  };
  const pid_t first = StartChild(worker("a"));
  const pid_t second = StartChild(worker("b"));
  EXPECT_EQ(WaitChild(first), 0);
  EXPECT_EQ(WaitChild(second), 0);

  Table t = Table::Open(folder.path(), "t");
  TableScanner scan = t.Scan();
  RecordRef rec;
  while (scan.Next(rec)) {
    EXPECT_EQ(DecodeNumeric(t.GetField("a"), rec.bytes).value, kRounds) << "record " << rec.recno;
    EXPECT_EQ(DecodeNumeric(t.GetField("b"), rec.bytes).value, kRounds) << "record " << rec.recno;
  }
}

// Both for an update of two records, locked one by one, and for one of the whole table, locked at once.
TEST_F(RecordLocks, LockedRecordMakesTheWriteWaitThenFailWithNothingWritten) {
  for (const bool bulk : {false, true}) {
    SCOPED_TRACE(bulk ? "bulk" : "two records");
    TableOptions o = ShortWait();
    o.tableLockPast = bulk ? 0 : 100;
    Table t = Table::Open(folder.path(), "t", o);
    const std::vector<uint32_t> records = bulk ? AllRecords() : std::vector<uint32_t>{1, 2};
    // The VFP byte of record 2, then the FoxPro 2.x byte (this table has no structural-index flag).
    for (uint64_t offset : {kVfpLockBase - 2, kFoxProLockBase + recordOffset2}) {
      LockHolder holder(path, {offset});
      const std::string before = ReadBytes(path);
      const auto start = std::chrono::steady_clock::now();
      try {
        t.UpdateRecords(records, SetA(t, 7));
        ADD_FAILURE() << "the update did not wait for the lock";
      } catch (const RecordLockedError& e) {
        EXPECT_STREQ(e.what(), "Record 2 of table t is in use by another user");
      }
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(650));
      EXPECT_EQ(ReadBytes(path), before);
      // Other records stay free.
      EXPECT_TRUE(t.UpdateRecord(3, SetA(t, 3)));
    }
  }
}

// Meanwhile another program can lock no record, not even one the update leaves alone, nor the header, nor
// take the table lock as other engines place it; a record lock of another program elsewhere in the table
// does not hold the update up.
TEST_F(RecordLocks, BulkUpdateLocksTheWholeTableAsOtherProgramsSeeIt) {
  TableOptions o = ShortWait();
  o.tableLockPast = 5;
  Table t = Table::Open(folder.path(), "t", o);
  std::vector<uint32_t> first10 = AllRecords();
  first10.resize(10);
  const std::pair<uint64_t, uint64_t> probes[] = {{kVfpLockBase - 15, 1},
                                                  {kFoxProLockBase + t.layout().RecordOffset(15), 1},
                                                  {kVfpLockBase, 1},
                                                  {0x77FFFFFF, 0x07FFFFFF}};
  int firstLockTaken = -1;
  t.UpdateRecords(first10, [&](uint32_t recno, std::string_view fresh, std::span<char> r) {
    if (recno == 1)
      firstLockTaken = WaitChild(StartChild([&] {
        SharedFile f = SharedFile::Open(path.string(), SharedFile::Mode::kReadWrite);
        for (size_t i = 0; i < std::size(probes); ++i)
          if (f.TryLock(probes[i].first, probes[i].second)) _exit(static_cast<int>(i) + 1);
        return true;
      }));
    return SetA(t, 1)(recno, fresh, r);
  });
  EXPECT_EQ(firstLockTaken, 0) << "probe " << firstLockTaken << " was not locked";
  LockHolder holder(path, {kVfpLockBase - 15});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(t.UpdateRecords(first10, SetA(t, 2)), 10u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(RecordLocks, LockReleasedWhileWaitingLetsTheWriteThrough) {
  TableOptions o;
  o.lockRetryInterval = std::chrono::milliseconds(50);
  Table t = Table::Open(folder.path(), "t", o);
  LockHolder holder(path, {kVfpLockBase - 2}, std::chrono::milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(t.UpdateRecord(2, SetA(t, 5)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  std::string r;
  ASSERT_TRUE(t.ReadRecord(2, r));
  EXPECT_EQ(DecodeNumeric(t.GetField("a"), r).value, 5);
}

TEST_F(RecordLocks, AppendWaitsForTheHeaderLock) {
  Table t = Table::Open(folder.path(), "t", ShortWait());
  LockHolder holder(path, {kVfpLockBase});
  const std::string before = ReadBytes(path);
  EXPECT_THROW(t.AppendRecord([](std::span<char>) {}), RecordLockedError);
  EXPECT_EQ(ReadBytes(path), before);
  holder.Release();
  EXPECT_EQ(t.AppendRecord([](std::span<char>) {}), 21u);
}

// Locks belong to the open file: another handle of the same process conflicts with them, and closing that
// other handle does not drop them (as classic POSIX locks would).
TEST_F(RecordLocks, LocksBelongToTheOpenFileNotTheProcess) {
  SharedFile mine = SharedFile::Open(path.string(), SharedFile::Mode::kReadWrite);
  ASSERT_TRUE(mine.TryLock(kVfpLockBase - 2, 1));
  { Table other = Table::Open(folder.path(), "t", ShortWait()); }  // opened and closed
  Table t = Table::Open(folder.path(), "t", ShortWait());
  EXPECT_THROW(t.UpdateRecord(2, SetA(t, 1)), RecordLockedError);
  const pid_t child = StartChild([&] {
    SharedFile f = SharedFile::Open(path.string(), SharedFile::Mode::kReadWrite);
    return !f.TryLock(kVfpLockBase - 2, 1);
  });
  EXPECT_EQ(WaitChild(child), 0);
  mine.Unlock(kVfpLockBase - 2, 1);
  EXPECT_TRUE(t.UpdateRecord(2, SetA(t, 1)));
}

}  // namespace
}  // namespace vorel::dbf
