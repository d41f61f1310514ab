#include "platform/posix/sqlite_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "platform/code_page.h"
#include "platform/state_store.h"

namespace vorel {
namespace {

// Sizes are passed to SQLite as int; SQLite refuses anything above its own, lower limit.
constexpr std::size_t kMaxBytes = static_cast<std::size_t>(std::numeric_limits<int>::max());

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

}  // namespace

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

DbHandle OpenOwnerOnlyDatabase(const std::string& location, bool create, bool tighten,
                               std::chrono::milliseconds busyTimeout) {
  if (create) {
    CreateFolderOf(location);
    CreateOwnerOnlyFile(location);
  } else if (struct stat info; ::stat(location.c_str(), &info) != 0) {
    const int error = errno;
    throw StateStoreError("State store: " + (error == ENOENT ? Utf8ToAnsi(location) + " does not exist"
                                                             : "cannot open " + Utf8ToAnsi(location) + ": " +
                                                                   std::strerror(error)));
  }
  if (tighten) TightenToOwner(location);
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(location.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  DbHandle db(raw);
  if (rc != SQLITE_OK) FailDatabase(db.get(), "cannot open", location);
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), static_cast<int>(busyTimeout.count()));
  // WAL lets readers go on beside a writer.
  if (sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) != SQLITE_OK)
    FailDatabase(db.get(), "cannot open", location);
  return db;
}

void FailDatabase(sqlite3* db, const std::string& what, const std::string& location) {
  std::string reason = db ? sqlite3_errmsg(db) : "out of memory";
  throw StateStoreError("State store: " + what + " " + Utf8ToAnsi(location) + ": " + reason);
}

StmtHandle PrepareKept(sqlite3* db, const char* sql, const std::string& location) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
    FailDatabase(db, "cannot prepare", location);
  return StmtHandle(stmt);
}

}  // namespace vorel
