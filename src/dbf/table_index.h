#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/cdx_file.h"
#include "dbf/held_locks.h"
#include "dbf/key_expression.h"
#include "dbf/staged_file.h"
#include "dbf/table_layout.h"

// The structural index of a table as its writers keep it: every tag's key and FOR expression bound to the
// table's fields; a write's changes staged under the index lock; a record's entries brought in line with the
// record; tags built anew from the records.
namespace vorel::dbf {

struct RecordChangeForIndex {
  uint32_t recno = 0;
  std::string_view before;  // empty for a new record
  std::string_view after;
};

// A record whose entries are to match its bytes as they are now; `earlier` are images it may have had when
// its entries were last written.
struct RecordHistory {
  uint32_t recno = 0;
  std::vector<std::string_view> earlier;
  std::optional<std::string_view> now;  // nullopt when the record is no longer in the table
};

// Calls its argument once for every record of the table (record number, bytes).
using RecordWalk = std::function<void(const std::function<void(uint32_t, std::string_view)>&)>;

// What rebuilding one tag did.
struct TagRebuild {
  std::string tag;
  bool rebuilt = false;
  size_t entries = 0;
  size_t removed = 0;  // entries of the old tree that the records do not give
  size_t added = 0;    // entries the records give that the old tree lacked
  std::string
      oldTreeFault;    // why the old tree could not be read whole (removed and added then count nothing)
  std::string reason;  // why it was left as it was
};

class TableIndex {
 public:
  // kEveryTag: IndexedTableWriteError naming the table and the tag when a tag's expression cannot be
  // evaluated (a writer must keep every tag). kWhatCanBeBound: such tags are left out and listed in
  // refusedTags(). Both: IndexedTableWriteError when the index file is missing or cannot be opened.
  enum class Binding { kEveryTag, kWhatCanBeBound };
  TableIndex(const std::filesystem::path& dbfPath, const std::string& tableName, const TableLayout& layout,
             const KeyExpressionCompiler& compiler, Binding binding = Binding::kEveryTag);

  CdxFile& cdx() { return *cdx_; }
  SharedFile& file() { return cdx_->file(); }
  struct RefusedTag {
    std::string name;
    std::string reason;  // "<expression>: why"
  };
  const std::vector<RefusedTag>& refusedTags() const { return refused_; }
  // Takes the index lock (byte 0x7FFFFFFE of the .cdx) into `locks` and reads the tag directory afresh.
  void Lock(HeldLocks& locks, const LockTiming& timing);

  // Under the index lock (taken into `locks`, to be held until the staged writes are made): checks that every
  // old entry is there and that no candidate key would appear twice (FieldValueError "Uniqueness of index
  // ... is violated"), then stages in `staged` the removals, the insertions and the bumped change counter.
  // Nothing is staged when a check fails.
  void Stage(const std::vector<RecordChangeForIndex>& changes, StagedFile& staged, HeldLocks& locks,
             const LockTiming& timing);
  // With the index lock held: stages the changes that make the entries of `records` match the records as
  // they are now (and the bumped change counter when anything changes). Returns the number of entries
  // removed or added.
  size_t StageReconcile(const std::vector<RecordHistory>& records, StagedFile& staged);
  // With the index lock held: builds every bound tag anew from the records `walk` gives (walked once per
  // tag) and writes it to new pages at the end of the file, then, once they are flushed, points the tag at
  // them (so a stop part-way leaves each tag whole, old or new) and bumps the change counter. The free-page
  // list is emptied (its pages and the old trees' stay unused). Tags left out stay as they are. Each tag's
  // report compares the new entries with those its old tree held.
  std::vector<TagRebuild> Rebuild(const RecordWalk& walk);

 private:
  struct BoundTag {
    std::string name;
    std::unique_ptr<KeyExpression> key;
    std::unique_ptr<KeyExpression> filter;
    char pad = ' ';
    bool dateTimeKey = false;  // VFP's datetime keys may lie one unit in the last place below ours
  };
  std::optional<std::string> KeyOf(const BoundTag& b, const CdxTag& tag, std::string_view record) const;
  std::string tableName_;
  std::unique_ptr<CdxFile> cdx_;
  std::vector<BoundTag> bound_;
  std::vector<RefusedTag> refused_;
};

}  // namespace vorel::dbf
