#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/state_store_factory.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using testing::TempFolder;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const StateStoreError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(StateStore, ReadsBackWhatWasWrittenAndAbsentReadsEmpty) {
  TempFolder dir;
  auto store = OpenStateStore(dir / "state.db");
  EXPECT_EQ(store->Read("path"), "");
  EXPECT_FALSE(store->ReadRaw("path").has_value());

  std::string allBytes;
  for (int b = 1; b < 256; ++b) allBytes += static_cast<char>(b);
  store->Write("path", allBytes);
  EXPECT_EQ(store->Read("path"), allBytes);

  store->Write("path", "");  // replaces whole, also by empty text
  EXPECT_EQ(store->Read("path"), "");
  ASSERT_TRUE(store->ReadRaw("path").has_value());

  store->Write("Log_Global", "x");
  EXPECT_EQ(store->Read("log_global"), "x");  // names ignore ASCII case, as registry names do
  store->Write("LOG_GLOBAL", "y");
  EXPECT_EQ(store->List().size(), 2u);
}

TEST(StateStore, TypeRulesOfReading) {
  TempFolder dir;
  auto store = OpenStateStore(dir / "state.db");
  store->WriteTyped("expand", "%SystemRoot%\\x", StateValueType::kExpandString);
  EXPECT_EQ(store->Read("expand"), "%SystemRoot%\\x");  // not expanded

  store->WriteTyped("nul", std::string("abc\0def", 7), StateValueType::kString);
  EXPECT_EQ(store->Read("nul"), "abc");
  EXPECT_EQ(store->ReadRaw("nul")->bytes, std::string("abc\0def", 7));

  store->WriteTyped("bin", "\x01\x02", StateValueType::kBinary);
  EXPECT_EQ(ErrorOf([&] { store->Read("bin"); }), "Invalid data type for 'bin'");
  store->WriteTyped("dword", "1234", static_cast<StateValueType>(4));
  EXPECT_EQ(ErrorOf([&] { store->Read("dword"); }), "Invalid data type for 'dword'");

  store->Write("bin", "text");  // a plain write gives the value the string type again
  EXPECT_EQ(store->Read("bin"), "text");
  EXPECT_EQ(store->ReadRaw("bin")->type, StateValueType::kString);
}

TEST(StateStore, ListAndRemove) {
  TempFolder dir;
  auto store = OpenStateStore(dir / "state.db");
  store->Write("b", "2");
  store->Write("a", "1");
  store->WriteTyped("c", "\xFF", StateValueType::kBinary);
  const auto values = store->List();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, "a");
  EXPECT_EQ(values[1].bytes, "2");
  EXPECT_EQ(values[2].type, StateValueType::kBinary);
  store->Remove("a");
  store->Remove("absent");
  EXPECT_EQ(store->List().size(), 2u);
  EXPECT_EQ(store->Read("a"), "");
}

TEST(StateStore, RefusedWriteFailsWithItsTextAndChangesNothing) {
  TempFolder dir;
  auto store = OpenStateStore(dir / "state.db", {std::chrono::milliseconds(50)});
  store->Write("version", "619");

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "state.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(ErrorOf([&] { store->Write("version", "620"); }), "Failed to set data for 'version'");
  EXPECT_EQ(store->Read("version"), "619");  // readers go on beside the writer
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  store->Write("version", "620");  // the store works again once the other writer is gone
  EXPECT_EQ(store->Read("version"), "620");
}

TEST(StateStore, OpenCreatesFoldersAndKeepsValuesAcrossOpens) {
  TempFolder dir;
  const std::string location = dir / "a/b/state.db";
  namespace fs = std::filesystem;
  StateStoreOptions readOnly;
  readOnly.create = false;
  EXPECT_THROW(OpenStateStore(location, readOnly), StateStoreError);
  EXPECT_FALSE(fs::exists(dir / "a"));
  OpenStateStore(location)->Write("id", "42");
  // Others may pass through to the status record, but neither list the folder nor read the store.
  EXPECT_EQ(fs::status(dir.path() / "a/b").permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  EXPECT_EQ(fs::status(location).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(OpenStateStore(location, readOnly)->Read("id"), "42");
}

// The store and its -wal and -shm companions are the owner's alone, whatever the folder and the umask, and
// a store left readable by others is tightened when it is opened.
TEST(StateStore, FilesAreOwnerOnly) {
  namespace fs = std::filesystem;
  TempFolder dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const std::string location = dir / "state.db";
  auto modes = [&] {
    std::string text;
    for (const char* suffix : {"", "-wal", "-shm"}) {
      text +=
          fs::exists(location + suffix)
              ? std::to_string(static_cast<int>(fs::status(location + suffix).permissions() & fs::perms::all))
              : "absent";
      text += ' ';
    }
    return text;
  };
  const std::string ownerOnly =
      std::to_string(static_cast<int>(fs::perms::owner_read | fs::perms::owner_write));
  const std::string expected = ownerOnly + " " + ownerOnly + " " + ownerOnly + " ";
  const mode_t savedMask = ::umask(022);
  {
    auto first = OpenStateStore(location);
    first->Write("pass", "secret");
    EXPECT_EQ(modes(), expected);
    // Another program made them readable while the service runs: the next opening takes that back.
    for (const char* suffix : {"", "-wal", "-shm"}) fs::permissions(location + suffix, fs::perms::all);
    auto second = OpenStateStore(location);
    EXPECT_EQ(modes(), expected);
    EXPECT_EQ(second->Read("pass"), "secret");
  }
  ::umask(savedMask);
}

TEST(StateStore, OpenFailuresNameTheLocation) {
  TempFolder dir;
  std::ofstream(dir / "file") << "not a folder";
  const std::string underFile = ErrorOf([&] { OpenStateStore(dir / "file/state.db"); });
  EXPECT_NE(underFile.find(dir / "file"), std::string::npos) << underFile;

  std::ofstream(dir / "garbage.db") << std::string(4096, 'g');
  const std::string garbage = ErrorOf([&] { OpenStateStore(dir / "garbage.db"); });
  EXPECT_NE(garbage.find("garbage.db"), std::string::npos) << garbage;
  EXPECT_NE(garbage.find("not a database"), std::string::npos) << garbage;
}

TEST(StateStore, LocationComesFromTheEnvironment) {
  const char* saved = std::getenv("VOREL_STATE");
  const std::string keep = saved ? saved : "";
  unsetenv("VOREL_STATE");
  EXPECT_EQ(StateStoreLocation(), "/var/lib/vorel_service/state.db");
  EXPECT_EQ(StateStoreFolder(), "/var/lib/vorel_service/");
  setenv("VOREL_STATE", "", 1);
  EXPECT_EQ(StateStoreLocation(), "/var/lib/vorel_service/state.db");
  setenv("VOREL_STATE", "/tmp/x/s.db", 1);
  EXPECT_EQ(StateStoreLocation(), "/tmp/x/s.db");
  EXPECT_EQ(StateStoreFolder(), "/tmp/x/");
  setenv("VOREL_STATE", "rel/s.db", 1);
  EXPECT_EQ(StateStoreLocation(), (std::filesystem::current_path() / "rel/s.db").string());
  if (saved) {
    setenv("VOREL_STATE", keep.c_str(), 1);
  } else {
    unsetenv("VOREL_STATE");
  }
}

// Writes `count` values "<prefix><i>" and, after each, appends to a value of its own, re-reading it.
bool WriteMany(StateStore& store, const std::string& prefix, int count) {
  try {
    for (int i = 0; i < count; ++i) {
      store.Write(prefix + std::to_string(i), std::string(100 + i, 'v'));
      store.Write("log_" + prefix, store.Read("log_" + prefix) + "x");
      store.Write("shared", prefix);
      if (store.Read(prefix + std::to_string(i)).size() != static_cast<std::size_t>(100 + i)) return false;
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void ExpectAllWritten(StateStore& store, const std::string& prefix, int count) {
  for (int i = 0; i < count; ++i) EXPECT_EQ(store.Read(prefix + std::to_string(i)).size(), 100u + i);
  EXPECT_EQ(store.Read("log_" + prefix), std::string(count, 'x'));
}

TEST(StateStore, TwoThreadsShareOneStoreAndAnotherConnection) {
  TempFolder dir;
  auto store = OpenStateStore(dir / "state.db");
  auto second = OpenStateStore(dir / "state.db");
  constexpr int kCount = 300;
  bool okA = false, okB = false, okC = false;
  std::thread a([&] { okA = WriteMany(*store, "a", kCount); });
  std::thread b([&] { okB = WriteMany(*store, "b", kCount); });
  std::thread c([&] { okC = WriteMany(*second, "c", kCount); });
  a.join();
  b.join();
  c.join();
  EXPECT_TRUE(okA && okB && okC);
  for (const char* p : {"a", "b", "c"}) ExpectAllWritten(*store, p, kCount);
}

TEST(StateStore, SecondProcessWritesAtTheSameTime) {
  TempFolder dir;
  const std::string location = dir / "state.db";
  auto store = OpenStateStore(location);
  constexpr int kCount = 300;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = false;
    try {
      auto own = OpenStateStore(location);
      ok = WriteMany(*own, "child", kCount);
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  const bool ok = WriteMany(*store, "parent", kCount);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ExpectAllWritten(*store, "child", kCount);
  ExpectAllWritten(*store, "parent", kCount);
}

}  // namespace
}  // namespace vorel
