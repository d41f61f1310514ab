#include "dbf/table_changes.h"

#include <filesystem>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"
#include "platform/file_ops.h"
#include "platform/path_text.h"

namespace vorel::dbf {

namespace {

// The file a journal target names, or nullptr.
struct TargetFiles {
  SharedFile* table;
  SharedFile* memo;
  SharedFile* index;
  SharedFile* of(JournalTarget t) const {
    return t == JournalTarget::kTable ? table : t == JournalTarget::kMemo ? memo : index;
  }
};

void WriteAfterImages(const Journal& j, const TargetFiles& files) {
  for (const JournalRegion& r : j.regions) files.of(r.target)->WriteAt(r.offset, r.after);
  // Flushed in the order written: the memo file, the table, the index.
  for (JournalTarget t : {JournalTarget::kMemo, JournalTarget::kTable, JournalTarget::kIndex})
    if (j.file(t).touched) files.of(t)->Sync();
}

// Creates the journal file with these bytes and flushes it: the statement's one flush of its own. (The file
// systems the tables live on, ext4, XFS, btrfs and NTFS, make a new file's name durable with its first
// flush.) On a failure nothing of it is left behind, as far as the failure allows, and the error passes on.
void WriteJournalFile(const std::filesystem::path& path, const std::string& bytes) {
  SharedFile file = SharedFile::CreateNew(NarrowPath(path));
  try {
    file.WriteAt(0, bytes);
    file.Sync();
  } catch (const Error&) {
    file = SharedFile();
    try {
      RemoveFile(NarrowPath(path));
    } catch (const Error&) {
      // An unfinished journal names nothing to undo; the next opener removes it.
    }
    throw;
  }
}

uint32_t CounterIn(const StagedFile& staged, bool after) {
  char bytes[4];
  const size_t got = after ? staged.ReadAt(8, bytes) : staged.file().ReadAt(8, bytes);
  return got == 4 ? LoadBe32(bytes) : 0;
}

}  // namespace

TableChanges::TableChanges(Table::State& s) : s_(s), table_(s.file) {
  if (s.memo) memo_.emplace(s.memo->file());
  if (s.index) index_.emplace(s.index->file());
  s_.changes = this;
}

TableChanges::~TableChanges() {
  s_.changes = nullptr;
}

Journal TableChanges::Prepare() const {
  Journal j;
  j.headerLength = s_.layout.headerLength;
  j.recordLength = s_.layout.recordLength;
  char count[4];
  if (table_.file().ReadAt(4, count) == 4) j.countBefore = LoadLe32(count);
  if (table_.ReadAt(4, count) == 4) j.countAfter = LoadLe32(count);
  if (index_) {
    j.counterBefore = CounterIn(*index_, false);
    j.counterAfter = CounterIn(*index_, true);
  }
  // The order of writing: the memo file first, so that its new blocks are claimed before a record points at
  // them; the table and the index from their ends to their headers, so that an appended record is in place
  // before the header counts it and the index pages before the change counter moves.
  auto add = [&](JournalTarget target, const StagedFile* staged, bool fromTheEnd) {
    if (!staged || staged->empty()) return;
    JournalFileSizes& sizes = j.file(target);
    sizes.touched = true;
    sizes.before = staged->file().Size();
    sizes.after = staged->Size();
    auto region = [&](uint64_t offset, const std::string& after) {
      JournalRegion r{target, offset, {}, after};
      if (offset < sizes.before) {
        r.before.resize(static_cast<size_t>(std::min<uint64_t>(after.size(), sizes.before - offset)));
        r.before.resize(staged->file().ReadAt(offset, r.before));
      }
      j.regions.push_back(std::move(r));
    };
    if (fromTheEnd) {
      for (auto it = staged->writes().rbegin(); it != staged->writes().rend(); ++it)
        region(it->first, it->second);
    } else {
      for (const auto& [offset, after] : staged->writes()) region(offset, after);
    }
  };
  add(JournalTarget::kMemo, memo_ ? &*memo_ : nullptr, false);
  add(JournalTarget::kTable, &table_, true);
  add(JournalTarget::kIndex, index_ ? &*index_ : nullptr, true);
  return j;
}

void TableChanges::Commit() {
  const Journal j = Prepare();
  if (j.regions.empty()) return;
  const TargetFiles files{&s_.file, memo_ ? &memo_->file() : nullptr, index_ ? &index_->file() : nullptr};
  if (!s_.options.journal) {
    WriteAfterImages(j, files);
    return;
  }
  if (!locks_.Acquire(s_.file, kJournalLockByte, s_.timing()))
    throw RecordLockedError("Table " + s_.name + " is being written by another program; nothing was written");
  std::error_code ec;
  if (std::filesystem::exists(s_.journalPath, ec))
    throw TableFileError(
        "Table " + s_.name +
        " has a write of a program that stopped part-way; it is undone when the table is next "
        "opened; nothing was written");
  try {
    WriteJournalFile(s_.journalPath, EncodeJournal(j));
  } catch (const Error& e) {
    throw TableFileError("Table " + s_.name + " cannot be written: " + e.what() + "; nothing was written");
  }
  // The removal is flushed as well: file systems write a removal down only seconds later, and a journal
  // that came back after a power cut would undo a statement whose answer has gone out.
  try {
    WriteAfterImages(j, files);
    RemoveFile(NarrowPath(s_.journalPath));
    SyncFolder(NarrowPath(s_.journalPath.parent_path()));
  } catch (const Error& e) {
    PutBack(j, e.what());
  }
}

void TableChanges::PutBack(const Journal& j, const std::string& cause) {
  std::string outcome = "nothing was written";
  try {
    UndoStatement(j, {&s_.file, memo_ ? &memo_->file() : nullptr, s_.index.get()});
    RemoveFile(NarrowPath(s_.journalPath));
  } catch (const std::exception& e) {
    outcome = "what was written is undone when the table is next opened (" + std::string(e.what()) + ")";
  }
  throw TableFileError("Table " + s_.name + " cannot be written: " + cause + "; " + outcome);
}

}  // namespace vorel::dbf
