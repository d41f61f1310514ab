#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "dbf/memo_file.h"
#include "dbf/statement_undo.h"
#include "dbf/table.h"
#include "dbf/table_index.h"
#include "dbf/table_locks.h"

// What an open Table holds; shared by the files that implement Table.
namespace vorel::dbf {

class TableChanges;

struct Table::State {
  std::string name;
  std::filesystem::path path;
  std::filesystem::path journalPath;  // where a statement's journal lies while it is being written
  TableOptions options;
  SharedFile file;
  bool fileWritable = false;
  TableLayout layout;
  std::optional<MemoFile> memo;
  std::string memoProblem;             // why `memo` is absent although the table has memo fields
  std::unique_ptr<TableIndex> index;   // opened on the first write of a table with a structural index
  TableChanges* changes = nullptr;     // the statement being prepared (memo values go into it)
  bool recoveryPending = false;        // a journal of an interrupted statement waits to be undone
  std::string recoveryProblem;         // why it could not be undone yet
  std::optional<UndoReport> recovery;  // what undoing it did

  LockTiming timing() const { return {options.lockWait, options.lockRetryInterval}; }
  TableLockTarget lockTarget() { return {file, layout, name, timing()}; }
};

}  // namespace vorel::dbf
