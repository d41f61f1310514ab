#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/shared_file.h"
#include "windows_temp_folder.h"

// The byte-range locks through which the service shares the clinic's tables with the reception desk program:
// LockFileEx on the file's handle, owned by that handle, exclusive against every other handle, whether of
// this process or another.
namespace vorel {
namespace {

using namespace std::chrono_literals;

constexpr uint64_t kHeaderLock = 0x7FFFFFFE;  // the VFP table header byte; record n is this minus n

class WindowsSharedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = folder_.Path("t.dbf");
    SharedFile f = SharedFile::CreateNew(path_);
    f.WriteAt(0, std::string("0123456789"));
  }
  SharedFile Open() { return SharedFile::Open(path_, SharedFile::Mode::kReadWrite); }

  test::WindowsTempFolder folder_;
  std::string path_;
};

TEST_F(WindowsSharedFile, ExclusiveLocksExcludeOtherHandlesUntilReleased) {
  SharedFile a = Open();
  SharedFile b = Open();
  ASSERT_TRUE(a.TryLock(kHeaderLock - 2, 1));
  EXPECT_FALSE(b.TryLock(kHeaderLock - 2, 1));
  EXPECT_FALSE(b.TryLockShared(kHeaderLock - 2, 1));
  EXPECT_FALSE(b.TryLock(kHeaderLock - 3, 2));  // any overlap conflicts
  EXPECT_TRUE(b.TryLock(kHeaderLock - 1, 1));   // the neighbouring record is free
  a.Unlock(kHeaderLock - 2, 1);
  EXPECT_TRUE(b.TryLock(kHeaderLock - 2, 1));
  // Unlocking bytes that are not locked changes nothing, as on POSIX.
  a.Unlock(kHeaderLock - 7, 1);
  EXPECT_FALSE(a.TryLock(kHeaderLock - 2, 1));
}

TEST_F(WindowsSharedFile, SharedLocksExcludeOnlyExclusiveOnes) {
  SharedFile a = Open();
  SharedFile b = Open();
  SharedFile c = SharedFile::Open(path_, SharedFile::Mode::kRead);
  ASSERT_TRUE(a.TryLockShared(kHeaderLock, 1));
  EXPECT_TRUE(c.TryLockShared(kHeaderLock, 1));  // a file open for reading can lock too
  EXPECT_FALSE(b.TryLock(kHeaderLock, 1));
  a.Unlock(kHeaderLock, 1);
  c.Unlock(kHeaderLock, 1);
  EXPECT_TRUE(b.TryLock(kHeaderLock, 1));
}

TEST_F(WindowsSharedFile, ClosingOrMovingTheFileReleasesOrCarriesItsLocks) {
  SharedFile b = Open();
  {
    SharedFile a = Open();
    ASSERT_TRUE(a.TryLock(kHeaderLock, 1));
    SharedFile moved = std::move(a);
    EXPECT_FALSE(a.isOpen());
    EXPECT_FALSE(b.TryLock(kHeaderLock, 1));
  }
  EXPECT_TRUE(b.TryLock(kHeaderLock, 1));
}

TEST_F(WindowsSharedFile, LocksPastTheDataNeverBlockReadsAndWrites) {
  SharedFile a = Open();
  SharedFile b = Open();
  ASSERT_TRUE(a.TryLock(kHeaderLock - 1, 2));
  b.WriteAt(10, std::string("ab"));
  std::string buffer(20, '\0');
  EXPECT_EQ(b.ReadAt(0, buffer), 12u);  // short only at the end of the file
  EXPECT_EQ(buffer.substr(0, 12), "0123456789ab");
  EXPECT_EQ(b.Size(), 12u);
}

TEST_F(WindowsSharedFile, TransferOverALockedByteWaitsForItsRelease) {
  // Windows locks are mandatory: a read of bytes that another handle holds fails until they are released,
  // as when a writer holds the memo file's first byte for an append. The read waits that out.
  SharedFile a = Open();
  SharedFile b = Open();
  ASSERT_TRUE(a.TryLock(0, 1));
  std::thread releaser([&] {
    std::this_thread::sleep_for(200ms);
    a.Unlock(0, 1);
  });
  std::string buffer(4, '\0');
  EXPECT_EQ(b.ReadAt(0, buffer), 4u);
  EXPECT_EQ(buffer, "0123");
  releaser.join();
  b.WriteAt(0, std::string("X"));
  EXPECT_EQ(b.ReadAt(0, buffer), 4u);
  EXPECT_EQ(buffer, "X123");
}

TEST_F(WindowsSharedFile, OpenCreateResizeAndTheirFailures) {
  try {
    SharedFile::Open(folder_.Path("missing.dbf"), SharedFile::Mode::kRead);
    FAIL() << "no error";
  } catch (const FileAccessError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open " + folder_.Path("missing.dbf") + ": "),
              std::string::npos)
        << e.what();
  }
  EXPECT_THROW(SharedFile::CreateNew(path_), FileAccessError);

  SharedFile f = Open();
  f.Truncate(4);
  EXPECT_EQ(f.Size(), 4u);
  f.Truncate(6);  // grows with zero bytes
  std::string buffer(6, 'x');
  EXPECT_EQ(f.ReadAt(0, buffer), 6u);
  EXPECT_EQ(buffer, std::string("0123\0\0", 6));
  f.Sync();
  SharedFile reader = SharedFile::Open(path_, SharedFile::Mode::kRead);
  reader.Sync();  // nothing to flush is no failure
  EXPECT_THROW(reader.WriteAt(0, std::string("z")), FileAccessError);
  EXPECT_EQ(reader.ReadAt(100, buffer), 0u);
}

// The other process of the next test: holds record 2's lock of the file named in the environment until the
// parent lets go, as a reception desk program editing that record would.
TEST(WindowsSharedFileHolder, HoldsARecordLockForTheParent) {
  const char* file = std::getenv("VOREL_LOCK_HOLDER_FILE");
  if (file == nullptr) GTEST_SKIP() << "run by WindowsSharedFile.LocksExcludeAnotherProcess only";
  SharedFile f = SharedFile::Open(file, SharedFile::Mode::kReadWrite);
  ASSERT_TRUE(f.TryLock(kHeaderLock - 2, 1));
  const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, std::getenv("VOREL_LOCK_HOLDER_READY"));
  const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, std::getenv("VOREL_LOCK_HOLDER_RELEASE"));
  ASSERT_TRUE(ready != nullptr && release != nullptr);
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  CloseHandle(ready);
  CloseHandle(release);
}

TEST_F(WindowsSharedFile, LocksExcludeAnotherProcess) {
  const std::string tag = std::to_string(GetCurrentProcessId());
  const std::string readyName = "vorel_lock_ready_" + tag, releaseName = "vorel_lock_release_" + tag;
  const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
  const HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
  SetEnvironmentVariableA("VOREL_LOCK_HOLDER_FILE", path_.c_str());
  SetEnvironmentVariableA("VOREL_LOCK_HOLDER_READY", readyName.c_str());
  SetEnvironmentVariableA("VOREL_LOCK_HOLDER_RELEASE", releaseName.c_str());
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" --gtest_filter=WindowsSharedFileHolder.*";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  // Detached: the holder's own test report goes nowhere.
  const bool started = CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                                      nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableA("VOREL_LOCK_HOLDER_FILE", nullptr);
  ASSERT_TRUE(started);
  const HANDLE waitFor[2] = {ready, child.hProcess};
  EXPECT_EQ(WaitForMultipleObjects(2, waitFor, FALSE, 60000), WAIT_OBJECT_0) << "the holder did not lock";

  SharedFile f = Open();
  EXPECT_FALSE(f.TryLock(kHeaderLock - 2, 1));
  EXPECT_TRUE(f.TryLock(kHeaderLock - 3, 1));
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  // The holder's end released its lock.
  EXPECT_TRUE(f.TryLock(kHeaderLock - 2, 1));
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(ready);
  CloseHandle(release);
}

}  // namespace
}  // namespace vorel
