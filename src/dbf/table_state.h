#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "dbf/held_locks.h"
#include "dbf/memo_file.h"
#include "dbf/table.h"
#include "dbf/table_index.h"

// What an open Table holds; shared by the files that implement Table.
namespace vorel::dbf {

// VFP's lock bytes: record n at kVfpLockBase - n, the header at kVfpLockBase; the FoxPro 2.x scheme locks
// the record's own position (and the header at offset 0) shifted by kFoxProLockBase.
inline constexpr uint64_t kVfpLockBase = 0x7FFFFFFE;
inline constexpr uint64_t kFoxProLockBase = 0x40000000;

struct Table::State {
  std::string name;
  std::filesystem::path path;
  TableOptions options;
  SharedFile file;
  bool fileWritable = false;
  TableLayout layout;
  std::optional<MemoFile> memo;
  std::string memoProblem;            // why `memo` is absent although the table has memo fields
  std::unique_ptr<TableIndex> index;  // opened on the first write of a table with a structural index

  LockTiming timing() const { return {options.lockWait, options.lockRetryInterval}; }
};

}  // namespace vorel::dbf
