#include <mutex>

#include "platform/code_page.h"
#include "platform/posix/sqlite_file.h"
#include "platform/state_store_factory.h"

// The POSIX state store: one SQLite file in WAL mode, one row per named value. Every read and write is a
// single statement in its own transaction, so the service's two threads and an operator command in another
// process can use the file at the same time; a writer that finds the file busy waits up to the busy timeout.
namespace vorel {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS state_values ("
    " name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,"  // value names ignore ASCII case, as in the registry
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL)";

// The value whose type and data are the columns from `typeColumn` on.
StoredValue TypedValue(sqlite3_stmt* stmt, int typeColumn, std::string name) {
  return {std::move(name), ColumnBytes(stmt, typeColumn + 1),
          static_cast<StateValueType>(sqlite3_column_int(stmt, typeColumn))};
}

class SqliteStateStore final : public EditableStateStore {
 public:
  SqliteStateStore(const std::string& location, const StateStoreOptions& options) : location_(location) {
    db_ = OpenOwnerOnlyDatabase(location, options.create, true, options.busyTimeout);
    // NORMAL sync keeps the file sound after a crash of the process and costs no flush per log line.
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
  [[noreturn]] void Fail(const std::string& what) { FailDatabase(db_.get(), what, location_); }

  void Exec(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail("cannot open");
  }

  StmtHandle Prepare(const char* sql) { return PrepareKept(db_.get(), sql, location_); }

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
