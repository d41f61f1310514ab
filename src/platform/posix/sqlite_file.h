#pragma once

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

// What the SQLite stores of the POSIX home share: handles that close themselves, and opening the state
// store's file for its owner alone.
namespace vorel {

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

// Binds bytes as a text or blob that is never SQL NULL, even when empty; false when SQLite cannot take them.
bool BindText(sqlite3_stmt* stmt, int index, std::string_view text);
bool BindBlob(sqlite3_stmt* stmt, int index, std::string_view bytes);
std::string ColumnBytes(sqlite3_stmt* stmt, int column);

// Opens the store file at `location` in WAL mode with the busy timeout. With `create` the file and its
// folder are made when missing (the folder passable by others, the file its owner's alone); without, a
// missing file fails. With `tighten` the file and its -wal and -shm companions are tightened to their owner
// first: only where no other connection of this process has the file open, since closing a file releases
// every lock of the process on it, SQLite's included (a second connection would then take itself for the
// first and truncate the shared memory file under the other's feet). Failures are StateStoreError with the
// location and the reason.
DbHandle OpenOwnerOnlyDatabase(const std::string& location, bool create, bool tighten,
                               std::chrono::milliseconds busyTimeout);

// StateStoreError "State store: <what> <location>: <SQLite's reason>".
[[noreturn]] void FailDatabase(sqlite3* db, const std::string& what, const std::string& location);
// Prepares a statement kept for the life of the connection; StateStoreError when it cannot.
StmtHandle PrepareKept(sqlite3* db, const char* sql, const std::string& location);

}  // namespace vorel
