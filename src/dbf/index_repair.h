#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/cdx_check.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"
#include "dbf/table_index.h"

// The operator's way out of a damaged structural index: its tags built anew from the records, in the index
// file itself (the reception desk program keeps the file open: a new file put in its place would leave that
// program writing to the old one).
namespace vorel::dbf {

struct IndexRepairReport {
  std::vector<std::string> problems;  // what the check found; none: nothing was written
  std::filesystem::path backup;       // the copy of the index file as it was
  std::vector<TagRebuild> tags;       // one per tag: rebuilt, or left as it was and why
  IndexCheckReport after;             // the check once the tags were rebuilt
};

// Opens the table for writing (which undoes an interrupted write first), takes the whole-table lock and the
// index lock, and checks the index. When the check finds problems: copies the index file to "<its name>.bak"
// (flushed, replacing an older copy), rebuilds from the records every tag whose expressions can be
// evaluated, leaves the other tags as they are (never dropping one), and checks again.
// TableNotFoundError; TableFileError for a table without a structural index, files that cannot be written
// or an interrupted write that cannot be undone yet; RecordLockedError when another program holds a record
// or the index for longer than the lock wait; CorruptTableError when the tag directory cannot be read (the
// tags' definitions are unknown then). Nothing is written in any of these cases.
IndexRepairReport RepairStructuralIndex(const std::filesystem::path& folder, std::string_view table,
                                        const KeyExpressionCompiler& compiler,
                                        const TableOptions& options = {});

// The backup's path: "M2401.CDX" -> "M2401.CDX.BAK", "m2401.cdx" -> "m2401.cdx.bak".
std::filesystem::path IndexBackupPathFor(const std::filesystem::path& indexPath);

}  // namespace vorel::dbf
