#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_errors.h"
#include "dbf/field.h"
#include "dbf/field_decode.h"
#include "dbf/field_encode.h"
#include "dbf/journal.h"
#include "dbf/table_layout.h"
#include "dbf/write_observer.h"
#include "platform/clock.h"
#include "platform/shared_file.h"

// One VFP table (DBF file, with its FPT memo file) opened in shared mode beside the reception desk program.
//
// Reading takes no locks. Every change locks as VFP does: the record's lock byte (and the FoxPro 2.x byte
// for a table without the structural-index flag) around an update, or the whole table for an update of many
// records, the header byte around an append, each retried every `lockRetryInterval` up to `lockWait`, then
// RecordLockedError. Records are re-read under their lock, written whole, flushed, then unlocked. An update
// never rewrites the header.
//
// A table whose header has the structural-index flag keeps every tag of its .cdx up to date on each write,
// under the index lock. When the .cdx is missing or a tag cannot be evaluated, the table can still be read,
// but every write fails with IndexedTableWriteError naming the table (and tag) and writes nothing.
//
// Each write (an update of any number of records, an append) is one statement: its changes to records,
// index pages, memo blocks and the header are prepared in memory, recorded in a journal beside the table
// (flushed once), made, and the journal removed. A write that fails on the way is undone before the error
// passes on; one that a crash interrupted is undone by the next opener that can write, under the table's
// locks, keeping whatever another program has written since.
namespace vorel::dbf {

class KeyExpressionCompiler;

struct TableOptions {
  bool readOnly = false;                     // open the files for reading only; writes then fail
  std::chrono::milliseconds lockWait{5000};  // longest wait for a lock held by another program
  std::chrono::milliseconds lockRetryInterval{333};
  const Clock* clock = nullptr;  // for the header's last-update date; nullptr = system
  // Evaluates the structural index's key and FOR expressions; nullptr = BasicKeyExpressionCompiler.
  const KeyExpressionCompiler* keyCompiler = nullptr;
  // false: changes go straight to the files and journals are left alone, as by a program that knows
  // nothing of them (for measuring what the journal costs, and for tests that play such a program).
  bool journal = true;
  // Undo an interrupted write found at open even when opening for reading, if the files can be written
  // (the service's queries, so that they never read a half-written table).
  bool undoWhenReading = false;
  // An update of more records than this locks the whole table once (VFP's FLOCK) instead of each record;
  // SIZE_MAX keeps a lock per record (for measuring the difference).
  size_t tableLockPast = 100;
  // Hears of every record an update or an append has written (nullptr: nobody).
  WriteObserver* observer = nullptr;
};

struct CreateOptions {
  uint8_t codePageMark = 0xC9;  // Windows-1251
  uint16_t memoBlockSize = 64;  // VFP's default SET BLOCKSIZE
  const Clock* clock = nullptr;
};

// One record as a scan or a read gives it. `bytes` is the whole record (byte 0 = deleted flag, then the
// fields at their offsets); the view stays valid until the scanner moves on.
struct RecordRef {
  uint32_t recno = 0;  // 1-based
  bool deleted = false;
  std::string_view bytes;
};

// A sequential read of records 1..N (N = record count when the scan starts) through one reused buffer of
// about 1 MB; no allocation per record.
class TableScanner {
 public:
  // The next record; false at the end. Throws CorruptTableError when the file ends early.
  bool Next(RecordRef& record) {
    if (nextRecno_ > count_) return false;
    if (nextRecno_ - bufferFirst_ >= bufferCount_) Fill();
    const size_t at = static_cast<size_t>(nextRecno_ - bufferFirst_) * recordLength_;
    record.recno = nextRecno_++;
    record.deleted = buffer_[at] == kRecordDeleted;
    record.bytes = std::string_view(buffer_.data() + at, recordLength_);
    return true;
  }
  // The next record for which `keep(bytes)` is true, skipping the others in one tight loop over the buffer
  // (for a caller that can rule most records out from their bytes alone); false at the end.
  template <class Keep>
  bool NextWhere(RecordRef& record, const Keep& keep) {
    for (;;) {
      if (nextRecno_ > count_) return false;
      if (nextRecno_ - bufferFirst_ >= bufferCount_) Fill();
      const uint32_t end = std::min(bufferFirst_ + bufferCount_, count_ + 1);
      const char* at = buffer_.data() + static_cast<size_t>(nextRecno_ - bufferFirst_) * recordLength_;
      for (; nextRecno_ < end; at += recordLength_) {
        // The record a few kilobytes on is asked for now: the loop otherwise waits on each record in turn.
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(at) + prefetchAhead_));
        const uint32_t recno = nextRecno_++;
        const std::string_view bytes(at, recordLength_);
        if (!keep(bytes)) continue;
        record.recno = recno;
        record.deleted = at[0] == kRecordDeleted;
        record.bytes = bytes;
        return true;
      }
    }
  }
  // Number of records the scan covers.
  uint32_t count() const { return count_; }

 private:
  friend class Table;
  TableScanner(const SharedFile& file, const TableLayout& layout, const std::string& tableName,
               uint32_t count);
  void Fill();
  const SharedFile* file_;
  const TableLayout* layout_;
  const std::string* tableName_;
  uint32_t count_;
  uint32_t recordLength_;
  uint32_t prefetchAhead_;  // bytes from a record to the one NextWhere prefetches
  uint32_t nextRecno_ = 1;
  uint32_t bufferFirst_ = 1;  // recno of the first record in the buffer
  uint32_t bufferCount_ = 0;  // records in the buffer
  std::vector<char> buffer_;
};

// Called for each record of an update with its bytes freshly read under the lock (`fresh`) and a copy of them
// to change (`changed`); returns false to leave the record as it is (e.g. it no longer matches the WHERE
// condition). May throw to fail the whole update before anything is written.
using RecordChange = std::function<bool(uint32_t recno, std::string_view fresh, std::span<char> changed)>;

class Table {
 public:
  // Opens `name` (with or without ".dbf", any letter case on disk) in `folder`, in shared mode, with its memo
  // file when the table has memo fields. TableNotFoundError, CorruptTableError, TableFileError.
  static Table Open(const std::filesystem::path& folder, std::string_view name,
                    const TableOptions& options = {});
  // Creates a new empty VFP table `name`.dbf (and `name`.fpt when a field needs it) and opens it.
  // TableFileError when a table of that name exists; FieldValueError for an invalid field list.
  static Table Create(const std::filesystem::path& folder, std::string_view name,
                      std::span<const FieldSpec> fields, const CreateOptions& createOptions = {},
                      const TableOptions& options = {});

  Table(Table&&) noexcept;
  Table& operator=(Table&&) noexcept;
  ~Table();

  const std::string& name() const;            // the name as the caller gave it (used in messages)
  const std::filesystem::path& path() const;  // the .dbf file found on disk
  const TableLayout& layout() const;
  const std::vector<Field>& fields() const { return layout().fields; }
  // A visible field by name, letter case ignored: nullptr / FieldValueError when there is none.
  const Field* FindField(std::string_view fieldName) const;
  const Field& GetField(std::string_view fieldName) const;

  // Record count as last read from the header (at open, at Refresh and at each Scan).
  uint32_t recordCount() const;
  // Re-reads the record count from the header (other programs append); checks it against the file size.
  uint32_t Refresh();

  // Scans every record that exists now (refreshes the record count first).
  TableScanner Scan();
  // Reads record `recno` fresh from disk into `out` (resized to the record length); false when recno is 0 or
  // beyond the last record.
  bool ReadRecord(uint32_t recno, std::string& out);

  // The value of a memo field (M, G, W, P) of a record's bytes, as stored (no code page conversion);
  // empty for block 0. CorruptTableError when the pointer or length runs past the end of the memo file.
  std::string ReadMemo(const Field& field, std::string_view record);
  // As ReadMemo, converted to Windows-1251 when the table stores 866 text and the field is not binary.
  std::string ReadMemoAnsi(const Field& field, std::string_view record);

  // True when writes are possible (not read-only, index maintainable, no interrupted write left that cannot
  // be undone yet); CheckWritable throws the reason.
  bool writable();
  void CheckWritable();

  // True when a journal of a write that stopped part-way waits beside the table: the open could not undo
  // it (opened for reading only, or its locks were held by another program). Reads then see the table as
  // the interrupted write left it.
  bool recoveryPending() const;
  // What undoing an interrupted write did, when this open undid one.
  const std::optional<UndoReport>& recovery() const;

  // Updates records: locks them in ascending order (waiting per TableOptions), re-reads each, calls `change`;
  // after every call has returned, writes each changed record, flushes, and unlocks. If a lock cannot be had
  // or `change` throws, nothing is written and the error passes on. Records beyond the end are skipped.
  // Returns the number of records written.
  size_t UpdateRecords(std::span<const uint32_t> recnos, const RecordChange& change);
  bool UpdateRecord(uint32_t recno, const RecordChange& change);
  // Sets or clears the deleted flag of a record (under its lock).
  void SetDeleted(uint32_t recno, bool deleted = true);

  // Appends a record under the header lock: the record starts blank (EncodeBlank of every field,
  // autoincrement fields numbered), `fill` sets its fields, then it is written at the end with the new record
  // count, the end-of-file marker and today's date in the header. Returns its record number. If `fill`
  // throws, nothing is appended.
  uint32_t AppendRecord(const std::function<void(std::span<char> record)>& fill);

  // Stores `value` (bytes as they go to the file) as a new memo block of the memo file and sets the field's
  // block number in `record`; an empty value sets block 0. Call it from a RecordChange or an AppendRecord
  // fill, i.e. under the record's lock.
  void WriteMemo(const Field& field, std::string_view value, std::span<char> record);
  // As WriteMemo from Windows-1251 text, converted to 866 when the table stores 866 text.
  void WriteMemoAnsi(const Field& field, std::string_view ansiText, std::span<char> record);

  // Sets the header's structural-index flag (under the header lock), once a .cdx has been built for the
  // table.
  void SetStructuralIndexFlag();

  struct State;  // the open files and layout (table_state.h)

 private:
  explicit Table(std::unique_ptr<State> state);
  // Undoes the statement of a journal left beside the table by a writer that stopped, unless a writer of
  // this program is still at work on it; sets recoveryPending when it cannot.
  void UndoInterruptedWrite();
  std::unique_ptr<State> state_;
};

}  // namespace vorel::dbf
