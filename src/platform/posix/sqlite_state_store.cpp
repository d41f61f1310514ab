#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>

#include "platform/code_page.h"
#include "platform/state_store_factory.h"

// The POSIX state store: one SQLite file in WAL mode, one row per named value. Every read and write is a
// single statement in its own transaction, so the service's two threads and an operator command in another
// process can use the file at the same time; a writer that finds the file busy waits up to the busy timeout.
namespace vorel {
namespace {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Leaves a cached statement ready for its next use, whatever happened to this one.
class StmtUse {
 public:
  explicit StmtUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~StmtUse() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  StmtUse(const StmtUse&) = delete;
  StmtUse& operator=(const StmtUse&) = delete;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS state_values ("
    " name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"  // value names ignore ASCII case, as in the registry
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL)";

// Sizes are passed to SQLite as int; SQLite refuses anything above its own, lower limit.
constexpr std::size_t kMaxBytes = static_cast<std::size_t>(std::numeric_limits<int>::max());

// Binds bytes as a text or blob that is never SQL NULL, even when empty.
bool BindText(sqlite3_stmt* stmt, int index, std::string_view text) {
  if (text.size() > kMaxBytes) return false;
  return sqlite3_bind_text(stmt, index, text.data() ? text.data() : "", static_cast<int>(text.size()),
                           SQLITE_STATIC) == SQLITE_OK;
}
bool BindBlob(sqlite3_stmt* stmt, int index, std::string_view bytes) {
  if (bytes.size() > kMaxBytes) return false;
  return sqlite3_bind_blob(stmt, index, bytes.data() ? bytes.data() : "", static_cast<int>(bytes.size()),
                           SQLITE_STATIC) == SQLITE_OK;
}

std::string ColumnBytes(sqlite3_stmt* stmt, int column) {
  const void* data = sqlite3_column_blob(stmt, column);
  const int size = sqlite3_column_bytes(stmt, column);
  return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

// The value whose type and data are the columns from `typeColumn` on.
StoredValue TypedValue(sqlite3_stmt* stmt, int typeColumn, std::string name) {
  return {std::move(name), ColumnBytes(stmt, typeColumn + 1),
          static_cast<StateValueType>(sqlite3_column_int(stmt, typeColumn))};
}

// Creates the folder of the store file when it is missing. Others may pass through a folder made here but
// not list it: they reach the status record beside the store, while the store itself is its owner's alone.
void CreateFolderOf(const std::string& location) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(location).parent_path();
  if (folder.empty()) return;
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  if (!folder.parent_path().empty()) fs::create_directories(folder.parent_path(), ec);
  if (::mkdir(folder.c_str(), 0711) == 0) {
    ::chmod(folder.c_str(), 0711);  // whatever the umask
    return;
  }
  const int error = errno;
  if (error == EEXIST && fs::is_directory(folder, ec)) return;  // made by another process meanwhile
  throw StateStoreError("State store: cannot create the folder " + Utf8ToAnsi(folder.string()) + ": " +
                        std::strerror(error == EEXIST ? ENOTDIR : error));
}

// Makes an empty store file for its owner alone before SQLite opens it; SQLite gives its journal files the
// same mode.
void CreateOwnerOnlyFile(const std::string& location) {
  const int fd = ::open(location.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != EEXIST) {
    throw StateStoreError("State store: cannot create " + Utf8ToAnsi(location) + ": " + std::strerror(errno));
  }
}

// The store holds the portal password: an existing store (with its -wal and -shm companions) keeps only its
// owner's rights to read and write, whatever folder it is in. A store this user cannot change is left as
// it is: opening it then tells what is wrong.
void TightenToOwner(const std::string& location) {
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const int fd = ::open((location + suffix).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0177) != 0) {
      ::fchmod(fd, info.st_mode & 0600);
    }
    ::close(fd);
  }
}

class SqliteStateStore final : public EditableStateStore {
 public:
  SqliteStateStore(const std::string& location, const StateStoreOptions& options) : location_(location) {
    if (options.create) {
      CreateFolderOf(location);
      CreateOwnerOnlyFile(location);
    } else if (struct stat info; ::stat(location.c_str(), &info) != 0) {
      const int error = errno;
      throw StateStoreError("State store: " + (error == ENOENT ? Utf8ToAnsi(location) + " does not exist"
                                                               : "cannot open " + Utf8ToAnsi(location) +
                                                                     ": " + std::strerror(error)));
    }
    TightenToOwner(location);
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(location.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) Fail("cannot open");
    sqlite3_extended_result_codes(db_.get(), 1);
    sqlite3_busy_timeout(db_.get(), static_cast<int>(options.busyTimeout.count()));
    // WAL lets readers go on beside a writer; NORMAL sync keeps the file sound after a crash of the process
    // and costs no flush per log line.
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec(kSchema);
    read_ = Prepare("SELECT type, data FROM state_values WHERE name = ?1");
    write_ = Prepare(
        "INSERT INTO state_values(name, type, data) VALUES(?1, ?2, ?3) "
        "ON CONFLICT(name) DO UPDATE SET type = excluded.type, data = excluded.data");
    remove_ = Prepare("DELETE FROM state_values WHERE name = ?1");
    list_ = Prepare("SELECT name, type, data FROM state_values ORDER BY name");
  }

  std::optional<StoredValue> ReadRaw(std::string_view name) override {
    std::lock_guard lock(mutex_);
    StmtUse use(read_.get());
    if (!BindText(use.get(), 1, name))
      throw StateStoreError("Failed to get data for " + QuotedStateName(name));
    const int rc = sqlite3_step(use.get());
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) throw StateStoreError("Failed to get data for " + QuotedStateName(name));
    return TypedValue(use.get(), 0, std::string(name));
  }

  void WriteTyped(std::string_view name, std::string_view bytes, StateValueType type) override {
    std::lock_guard lock(mutex_);
    StmtUse use(write_.get());
    const bool bound = BindText(use.get(), 1, name) &&
                       sqlite3_bind_int(use.get(), 2, static_cast<int>(type)) == SQLITE_OK &&
                       BindBlob(use.get(), 3, bytes);
    if (!bound || sqlite3_step(use.get()) != SQLITE_DONE) {
      throw StateStoreError("Failed to set data for " + QuotedStateName(name));
    }
  }

  void Remove(std::string_view name) override {
    std::lock_guard lock(mutex_);
    StmtUse use(remove_.get());
    if (!BindText(use.get(), 1, name) || sqlite3_step(use.get()) != SQLITE_DONE) {
      throw StateStoreError("Failed to delete value " + QuotedStateName(name));
    }
  }

  std::vector<StoredValue> List() override {
    std::lock_guard lock(mutex_);
    StmtUse use(list_.get());
    std::vector<StoredValue> values;
    int rc;
    while ((rc = sqlite3_step(use.get())) == SQLITE_ROW)
      values.push_back(TypedValue(use.get(), 1, ColumnBytes(use.get(), 0)));
    if (rc != SQLITE_DONE) Fail("cannot list the values of");
    return values;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    std::string reason = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
    throw StateStoreError("State store: " + what + " " + Utf8ToAnsi(location_) + ": " + reason);
  }

  void Exec(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail("cannot open");
  }

  StmtHandle Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
      Fail("cannot prepare");
    }
    return StmtHandle(stmt);
  }

  std::string location_;
  std::mutex mutex_;  // one connection, used by one thread at a time
  DbHandle db_;
  StmtHandle read_, write_, remove_, list_;
};

}  // namespace

std::unique_ptr<EditableStateStore> OpenStateStore(const std::string& location,
                                                   const StateStoreOptions& options) {
  return std::make_unique<SqliteStateStore>(location, options);
}

std::unique_ptr<EditableStateStore> OpenStateStore() {
  return OpenStateStore(StateStoreLocation());
}

}  // namespace vorel
