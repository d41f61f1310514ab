#include <mutex>

#include "platform/audit_store.h"
#include "platform/code_page.h"
#include "platform/posix/sqlite_file.h"
#include "platform/state_store_factory.h"

// The POSIX audit trail: a table of its own in the state store's SQLite file (so it shares the file's
// owner-only rights and its backups), each entry one row with its moment and its encoded body. Its own
// connection flushes each entry to the disk before Append returns (synchronous FULL), which the state
// store's rolling values do not need.
namespace vorel {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS audit_entries ("
    " id INTEGER PRIMARY KEY,"
    " at INTEGER NOT NULL,"  // milliseconds since 1970, UTC
    " body BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS audit_entries_at ON audit_entries(at)";

class SqliteAuditStore final : public AuditStore {
 public:
  SqliteAuditStore(const std::string& location, bool create) : location_(location) {
    try {
      // The service has the state store open in this process already: the file is left as it is (see
      // OpenOwnerOnlyDatabase); a file made here is its owner's alone, and SQLite gives its companions the
      // same rights.
      db_ = OpenOwnerOnlyDatabase(location, create, false, std::chrono::milliseconds(10000));
      Exec("PRAGMA synchronous=FULL");
      Exec(kSchema);
      append_ = PrepareKept(db_.get(), "INSERT INTO audit_entries(at, body) VALUES(?1, ?2)", location_);
      list_ = PrepareKept(db_.get(), "SELECT body FROM audit_entries ORDER BY id DESC", location_);
      prune_ = PrepareKept(db_.get(), "DELETE FROM audit_entries WHERE at < ?1", location_);
    } catch (const Error& e) {
      throw AuditStoreError(std::string("Audit trail: ") + e.what());
    }
  }

  void Append(const AuditEntry& entry) override {
    const std::string body = EncodeAuditEntry(entry);
    std::lock_guard lock(mutex_);
    StmtUse use(append_.get());
    if (sqlite3_bind_int64(use.get(), 1, entry.unixMillis) != SQLITE_OK || !BindBlob(use.get(), 2, body) ||
        sqlite3_step(use.get()) != SQLITE_DONE)
      Fail("cannot add an entry to");
  }

  std::vector<AuditEntry> Entries() override {
    std::lock_guard lock(mutex_);
    StmtUse use(list_.get());
    std::vector<AuditEntry> entries;
    int rc;
    while ((rc = sqlite3_step(use.get())) == SQLITE_ROW) {
      if (auto entry = DecodeAuditEntry(ColumnBytes(use.get(), 0))) entries.push_back(std::move(*entry));
    }
    if (rc != SQLITE_DONE) Fail("cannot read");
    return entries;
  }

  size_t PruneBefore(int64_t unixMillis) override {
    std::lock_guard lock(mutex_);
    StmtUse use(prune_.get());
    if (sqlite3_bind_int64(use.get(), 1, unixMillis) != SQLITE_OK || sqlite3_step(use.get()) != SQLITE_DONE)
      Fail("cannot prune");
    return static_cast<size_t>(sqlite3_changes(db_.get()));
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw AuditStoreError("Audit trail: " + what + " " + Utf8ToAnsi(location_) + ": " +
                          sqlite3_errmsg(db_.get()));
  }

  void Exec(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      FailDatabase(db_.get(), "cannot open", location_);
  }

  std::string location_;
  std::mutex mutex_;
  DbHandle db_;
  StmtHandle append_, list_, prune_;
};

}  // namespace

std::unique_ptr<AuditStore> OpenSqliteAuditStore(const std::string& location, bool create) {
  return std::make_unique<SqliteAuditStore>(location, create);
}

std::unique_ptr<AuditStore> OpenPlatformAuditStore(bool create) {
  return OpenSqliteAuditStore(StateStoreLocation(), create);
}

}  // namespace vorel
