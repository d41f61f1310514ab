#include "dbf/index_repair.h"

#include "dbf/dbf_errors.h"
#include "dbf/table_locks.h"
#include "platform/file_ops.h"
#include "platform/path_text.h"

namespace vorel::dbf {

namespace {

// Writes a flushed copy of `from` to `to` (a new file in place of an older one).
void CopyFlushed(const SharedFile& from, const std::filesystem::path& to) {
  RemoveFile(NarrowPath(to));
  SharedFile copy = SharedFile::CreateNew(NarrowPath(to));
  std::string chunk(1 << 20, '\0');
  for (uint64_t offset = 0;;) {
    const size_t got = from.ReadAt(offset, chunk);
    if (got == 0) break;
    copy.WriteAt(offset, std::string_view(chunk).substr(0, got));
    offset += got;
  }
  copy.Sync();
}

}  // namespace

std::filesystem::path IndexBackupPathFor(const std::filesystem::path& indexPath) {
  const std::string name = PathText(indexPath.filename());
  const bool lower = !name.empty() && name.back() >= 'a' && name.back() <= 'z';
  std::filesystem::path backup = indexPath;
  backup += lower ? ".bak" : ".BAK";
  return backup;
}

IndexRepairReport RepairStructuralIndex(const std::filesystem::path& folder, std::string_view name,
                                        const KeyExpressionCompiler& compiler, const TableOptions& options) {
  Table table = Table::Open(folder, name, options);
  if (table.recoveryPending())
    throw TableFileError("Table " + table.name() +
                         " has a write that stopped part-way and cannot be undone yet; nothing was written");
  if (!table.layout().hasStructuralIndex())
    throw TableFileError("Table " + table.name() + " has no structural index; nothing was written");
  // A file of its own for the locks: the table's may be open for reading only.
  SharedFile file;
  try {
    file = SharedFile::Open(NarrowPath(table.path()), SharedFile::Mode::kReadWrite);
  } catch (const FileAccessError& e) {
    throw TableFileError("Table " + table.name() + " cannot be written: " + e.what());
  }
  TableIndex index(table.path(), table.name(), table.layout(), compiler,
                   TableIndex::Binding::kWhatCanBeBound);
  // Declared after the files it locks, so released before they close.
  HeldLocks locks;
  const LockTiming timing{options.lockWait, options.lockRetryInterval};
  LockWholeTable({file, table.layout(), table.name(), timing}, locks);
  index.Lock(locks, timing);

  IndexRepairReport report;
  report.problems = CheckTableIndex(table, compiler).problems;
  if (report.problems.empty()) return report;
  report.backup = IndexBackupPathFor(index.file().path());
  CopyFlushed(index.file(), report.backup);
  report.tags = index.Rebuild([&](const std::function<void(uint32_t, std::string_view)>& visit) {
    TableScanner scan = table.Scan();
    RecordRef record;
    while (scan.Next(record)) visit(record.recno, record.bytes);
  });
  report.after = CheckTableIndex(table, compiler);
  return report;
}

}  // namespace vorel::dbf
