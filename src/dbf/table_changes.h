#pragma once

#include <optional>

#include "dbf/held_locks.h"
#include "dbf/journal.h"
#include "dbf/staged_file.h"
#include "dbf/table_state.h"

// The changes one statement makes to a table: the writes to its files, staged in memory while the statement
// is prepared, and the locks held for them; then made all at once, so that a stop at any point leaves the
// table wholly before or wholly after the statement once it is next opened for writing.
namespace vorel::dbf {

class TableChanges {
 public:
  explicit TableChanges(Table::State& s);
  ~TableChanges();
  TableChanges(const TableChanges&) = delete;
  TableChanges& operator=(const TableChanges&) = delete;

  StagedFile& table() { return table_; }
  StagedFile* memo() { return memo_ ? &*memo_ : nullptr; }
  StagedFile* index() { return index_ ? &*index_ : nullptr; }
  HeldLocks& locks() { return locks_; }

  // Makes the staged writes: the journal (before and after bytes, sizes, record count, index change
  // counter) is written and flushed, then the memo file, the table and the index are written and flushed,
  // then the journal is removed and its removal flushed. When a write or flush fails on the way, the files
  // are put back (as UndoStatement does) and TableFileError says what failed and whether nothing was written
  // or the rest is undone at the next open. Without the journal option the writes go straight to the files.
  void Commit();

 private:
  Journal Prepare() const;
  [[noreturn]] void PutBack(const Journal& journal, const std::string& cause);

  Table::State& s_;
  HeldLocks locks_;
  StagedFile table_;
  std::optional<StagedFile> memo_;
  std::optional<StagedFile> index_;
};

}  // namespace vorel::dbf
