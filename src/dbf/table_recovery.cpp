#include <filesystem>

#include "dbf/dbf_errors.h"
#include "dbf/journal.h"
#include "dbf/key_expression.h"
#include "dbf/statement_undo.h"
#include "dbf/table.h"
#include "dbf/table_state.h"
#include "platform/file_lookup.h"
#include "platform/file_ops.h"
#include "platform/path_text.h"

namespace vorel::dbf {

namespace {

// The whole journal file, or nullopt when it is not there (any more).
std::optional<std::string> ReadJournalFile(const std::filesystem::path& path) {
  try {
    const SharedFile file = SharedFile::Open(NarrowPath(path), SharedFile::Mode::kRead);
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    bytes.resize(file.ReadAt(0, bytes));
    return bytes;
  } catch (const FileAccessError&) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return std::nullopt;
    throw;
  }
}

}  // namespace

bool Table::recoveryPending() const {
  return state_->recoveryPending;
}

const std::optional<UndoReport>& Table::recovery() const {
  return state_->recovery;
}

void Table::UndoInterruptedWrite() {
  State& s = *state_;
  s.recoveryPending = false;
  std::error_code ec;
  if (!s.options.journal || !std::filesystem::exists(s.journalPath, ec)) return;
  s.recoveryPending = true;
  if (s.options.readOnly && !s.options.undoWhenReading) {
    s.recoveryProblem = "the table is open for reading only";
    return;
  }
  try {
    const auto peeked = ReadJournalFile(s.journalPath);
    if (!peeked) {
      s.recoveryPending = false;
      return;
    }
    // Files of its own: the open's may be read-only, and these locks are released when this ends.
    SharedFile table = SharedFile::Open(NarrowPath(s.path), SharedFile::Mode::kReadWrite);
    std::optional<MemoFile> memo;
    std::unique_ptr<TableIndex> index;
    HeldLocks locks;
    const TableLockTarget target{table, s.layout, s.name, s.timing()};
    const std::optional<Journal> journal = DecodeJournal(*peeked);
    const bool usable = journal && journal->headerLength == s.layout.headerLength &&
                        journal->recordLength == s.layout.recordLength;
    if (usable) {
      // The locks in the order every writer takes them: header, records, memo file, index; the journal's
      // byte last, free only when no writer of this program is at work on the table.
      if (HeaderTouched(*journal) ||
          journal->file(JournalTarget::kTable).after > journal->file(JournalTarget::kTable).before)
        LockHeader(target, locks);
      for (uint32_t recno : RecordsTouched(*journal)) LockRecord(target, locks, recno);
      if (journal->file(JournalTarget::kMemo).touched) {
        if (auto memoPath = FindCompanionFile(s.path, "fpt")) {
          memo.emplace(SharedFile::Open(NarrowPath(*memoPath), SharedFile::Mode::kReadWrite), s.name);
          memo->Lock(locks, s.timing());
        }
      }
      if (journal->file(JournalTarget::kIndex).touched && FindCompanionFile(s.path, "cdx")) {
        const BasicKeyExpressionCompiler basic;
        index = std::make_unique<TableIndex>(s.path, s.name, s.layout,
                                             s.options.keyCompiler ? *s.options.keyCompiler : basic,
                                             TableIndex::Binding::kWhatCanBeBound);
        index->Lock(locks, s.timing());
      }
    }
    if (!locks.TryAcquire(table, kJournalLockByte)) {
      // A writer of this program holds it: the journal is that writer's, and gone when it is done.
      s.recoveryPending = false;
      return;
    }
    const auto current = ReadJournalFile(s.journalPath);
    if (!current || *current != *peeked) {
      // Removed, or replaced by a later statement's, while the locks were taken: the next write looks again.
      s.recoveryPending = current.has_value();
      s.recoveryProblem = "the journal changed while it was being read";
      return;
    }
    // A journal that is not whole was being written when its writer stopped: the table was not touched yet.
    // One written for another layout predates a restructuring of the table, which rewrote every byte.
    if (usable) s.recovery = UndoStatement(*journal, {&table, memo ? &memo->file() : nullptr, index.get()});
    RemoveFile(NarrowPath(s.journalPath));
    SyncFolder(NarrowPath(s.journalPath.parent_path()));
    s.recoveryPending = false;
  } catch (const Error& e) {
    s.recoveryProblem = e.what();
  }
}

}  // namespace vorel::dbf
