#include "dbf/statement_undo.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>

#include "dbf/byte_order.h"
#include "dbf/cdx_file.h"

namespace vorel::dbf {

namespace {

std::string ReadExactly(const SharedFile& file, uint64_t offset, size_t length) {
  std::string bytes(length, '\0');
  bytes.resize(file.ReadAt(offset, bytes));
  return bytes;
}

// Every byte is the statement's old or new value at its place.
bool StillOurs(std::string_view now, std::string_view before, std::string_view after) {
  if (now.size() != before.size()) return false;
  for (size_t i = 0; i < now.size(); ++i)
    if (now[i] != before[i] && now[i] != after[i]) return false;
  return true;
}

class FileUndo {
 public:
  FileUndo(const Journal& journal, JournalTarget target, SharedFile& file)
      : sizes_(journal.file(target)), file_(file), size_(file.Size()) {
    for (const JournalRegion& r : journal.regions)
      if (r.target == target) regions_.push_back(&r);
  }

  bool appended() const { return sizes_.after > sizes_.before; }
  const std::vector<const JournalRegion*>& regions() const { return regions_; }

  // The bytes past the old end are all the statement's (its new bytes, or zero where a write did not land),
  // and nothing lies beyond them.
  bool TailStillOurs() const {
    if (size_ < sizes_.before || size_ > sizes_.after) return false;
    for (const JournalRegion* r : regions_) {
      const uint64_t from = std::max(r->offset, sizes_.before),
                     to = std::min(r->offset + r->after.size(), size_);
      if (from >= to) continue;
      const std::string now = ReadExactly(file_, from, to - from);
      const std::string_view after = std::string_view(r->after).substr(from - r->offset, to - from);
      for (size_t i = 0; i < now.size(); ++i)
        if (now[i] != after[i] && now[i] != '\0') return false;
    }
    return true;
  }
  // The part of the region that lay inside the old file still holds the statement's bytes.
  bool OldPartStillOurs(const JournalRegion& r) const {
    return StillOurs(ReadExactly(file_, r.offset, r.before.size()), r.before,
                     std::string_view(r.after).substr(0, r.before.size()));
  }
  // Puts the old part back when it is still ours; false when it is not.
  bool Restore(const JournalRegion& r, size_t& restored) {
    if (!OldPartStillOurs(r)) return false;
    if (ReadExactly(file_, r.offset, r.before.size()) != r.before) {
      file_.WriteAt(r.offset, r.before);
      ++restored;
      touched_ = true;
    }
    return true;
  }
  // Writes the first `length` new bytes when they are still ours (the old part, and past it the new bytes
  // or zeros); false when they are not.
  bool Complete(const JournalRegion& r, size_t length) {
    if (!OldPartStillOurs(r)) return false;
    const std::string_view after = std::string_view(r.after).substr(0, length);
    const std::string now = ReadExactly(file_, r.offset, after.size());
    if (now.size() < std::min(after.size(), r.before.size())) return false;
    for (size_t i = r.before.size(); i < now.size(); ++i)
      if (now[i] != after[i] && now[i] != '\0') return false;
    if (now != after) {
      file_.WriteAt(r.offset, after);
      touched_ = true;
    }
    return true;
  }
  void CutTail() {
    if (size_ > sizes_.before) {
      file_.Truncate(sizes_.before);
      touched_ = true;
    }
  }
  // Writes bytes that are not the statement's own (a new change counter).
  void Put(uint64_t offset, std::span<const char> bytes) {
    file_.WriteAt(offset, bytes);
    touched_ = true;
  }
  bool touched() const { return touched_; }
  void SyncIfTouched() {
    if (touched_) file_.Sync();
  }

 private:
  const JournalFileSizes& sizes_;
  SharedFile& file_;
  uint64_t size_;
  std::vector<const JournalRegion*> regions_;
  bool touched_ = false;
};

// The images a record had before and after the statement, from the table regions that hold it whole.
struct RecordImages {
  std::string_view before;  // empty for an appended record
  std::string_view after;
};

std::map<uint32_t, RecordImages> RecordsWritten(const Journal& j,
                                                const std::vector<const JournalRegion*>& rs) {
  std::map<uint32_t, RecordImages> records;
  if (j.recordLength == 0) return records;
  for (const JournalRegion* r : rs) {
    if (r->offset + r->after.size() <= j.headerLength) continue;
    const uint64_t first = r->offset < j.headerLength ? 0 : (r->offset - j.headerLength) / j.recordLength;
    for (uint64_t i = first;; ++i) {
      const uint64_t at = j.headerLength + i * j.recordLength;
      if (at + j.recordLength > r->offset + r->after.size()) break;
      if (at < r->offset) continue;
      const size_t in = static_cast<size_t>(at - r->offset);
      RecordImages images;
      images.after = std::string_view(r->after).substr(in, j.recordLength);
      if (in + j.recordLength <= r->before.size())
        images.before = std::string_view(r->before).substr(in, j.recordLength);
      records[static_cast<uint32_t>(i + 1)] = images;
    }
  }
  return records;
}

// The record count the table file holds now (header count, but never past the end of the file).
uint32_t CountNow(const SharedFile& table, const Journal& j) {
  char header[8];
  if (table.ReadAt(0, header) < sizeof header || j.recordLength == 0) return 0;
  const uint64_t size = table.Size();
  const uint64_t inFile = size < j.headerLength ? 0 : (size - j.headerLength) / j.recordLength;
  return static_cast<uint32_t>(std::min<uint64_t>(LoadLe32(header + 4), inFile));
}

}  // namespace

UndoReport UndoStatement(const Journal& j, const UndoFiles& files) {
  UndoReport report;
  FileUndo table(j, JournalTarget::kTable, *files.table);
  const bool cutTable = table.appended() && table.TailStillOurs();
  const bool keepAppended = table.appended() && !cutTable;
  const std::map<uint32_t, RecordImages> records = RecordsWritten(j, table.regions());
  for (const JournalRegion* r : table.regions()) {
    const bool header = r->offset < j.headerLength;
    const bool runsPastEnd = r->after.size() > r->before.size();
    bool ours = false;
    if (keepAppended) {
      // The program that appended after the statement owns the header now; the appended records stay.
      if (header) continue;
      // The appended records, without the end-of-file mark after them, which that program has written over.
      ours = runsPastEnd ? table.Complete(*r, r->after.size() / j.recordLength * j.recordLength)
                         : table.Restore(*r, report.regionsRestored);
    } else {
      ours = table.Restore(*r, report.regionsRestored);
    }
    for (const auto& [recno, images] : records) {
      const uint64_t at = j.headerLength + uint64_t{recno - 1} * j.recordLength;
      if (at < r->offset || at >= r->offset + r->after.size()) continue;
      if (!ours)
        report.recordsLeft.push_back(recno);
      else if (keepAppended && images.before.empty())
        report.recordsKept.push_back(recno);
    }
  }
  if (cutTable) table.CutTail();

  if (files.memo && j.file(JournalTarget::kMemo).touched) {
    FileUndo memo(j, JournalTarget::kMemo, *files.memo);
    if (!report.recordsKept.empty()) {
      // Kept records point into the statement's new memo blocks: those stay, made whole.
      for (const JournalRegion* r : memo.regions()) memo.Complete(*r, r->after.size());
    } else {
      const bool cut = memo.appended() && memo.TailStillOurs();
      for (const JournalRegion* r : memo.regions()) memo.Restore(*r, report.regionsRestored);
      if (cut) memo.CutTail();
    }
    memo.SyncIfTouched();
  }

  if (files.index && j.file(JournalTarget::kIndex).touched) {
    FileUndo index(j, JournalTarget::kIndex, files.index->file());
    const uint32_t counter = files.index->cdx().ChangeCounter();
    bool ours = (counter == j.counterBefore || counter == j.counterAfter) &&
                (!index.appended() || index.TailStillOurs());
    for (const JournalRegion* r : index.regions()) ours = ours && index.OldPartStillOurs(*r);
    if (ours) {
      for (const JournalRegion* r : index.regions()) index.Restore(*r, report.regionsRestored);
      // Only a tail that is the statement's: another program may have appended pages since.
      if (index.appended()) index.CutTail();
      if (index.touched()) {
        // The change counter only ever grows, past the statement's and any later change's, so that every
        // reader that kept pages of the index under an earlier value reads them again.
        char next[4];
        StoreBe32(next, std::max(counter, j.counterAfter) + 1);
        index.Put(8, next);
      }
      index.SyncIfTouched();
      // Entries of records that are not back as they were (left to another program, kept) follow the records.
      const uint32_t count = CountNow(*files.table, j);
      std::vector<std::string> now;
      now.reserve(records.size());
      std::vector<RecordHistory> histories;
      for (const auto& [recno, images] : records) {
        RecordHistory h;
        h.recno = recno;
        if (!images.before.empty()) h.earlier.push_back(images.before);
        h.earlier.push_back(images.after);
        if (recno <= count) {
          now.push_back(ReadExactly(*files.table, j.headerLength + uint64_t{recno - 1} * j.recordLength,
                                    j.recordLength));
          h.now = now.back();
        }
        histories.push_back(std::move(h));
      }
      StagedFile staged(files.index->file());
      report.entriesReconciled = files.index->StageReconcile(histories, staged);
      for (const auto& [offset, bytes] : staged.writes()) files.index->file().WriteAt(offset, bytes);
      if (!staged.empty()) files.index->file().Sync();
    } else {
      const uint32_t count = CountNow(*files.table, j);
      files.index->Rebuild([&](const std::function<void(uint32_t, std::string_view)>& visit) {
        constexpr uint32_t kChunk = 4096;
        std::string chunk;
        for (uint32_t first = 1; first <= count; first += kChunk) {
          const uint32_t n = std::min(kChunk, count - first + 1);
          chunk.resize(size_t{n} * j.recordLength);
          chunk.resize(files.table->ReadAt(j.headerLength + uint64_t{first - 1} * j.recordLength, chunk));
          for (uint32_t i = 0; (i + 1) * size_t{j.recordLength} <= chunk.size(); ++i)
            visit(first + i, std::string_view(chunk).substr(size_t{i} * j.recordLength, j.recordLength));
        }
      });
      report.indexRebuilt = true;
    }
  }
  table.SyncIfTouched();
  return report;
}

}  // namespace vorel::dbf
