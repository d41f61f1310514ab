#include "dbf/table_index.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "dbf/byte_order.h"
#include "dbf/cdx_build.h"
#include "dbf/cdx_writer.h"
#include "dbf/dbf_errors.h"
#include "dbf/field_encode.h"
#include "dbf/index_key.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel::dbf {

namespace {

constexpr uint64_t kIndexLockByte = 0x7FFFFFFE;

// The sortable double key just below `key` (its last 8 bytes read as one big-endian number, minus one).
std::string OneUnitLower(std::string key) {
  for (size_t i = key.size(); i-- > key.size() - std::min<size_t>(8, key.size());) {
    if (key[i]-- != '\0') break;
  }
  return key;
}

// Reads and writes of `cdx` go through `staged` for as long as this lives.
class StagingScope {
 public:
  StagingScope(CdxFile& cdx, StagedFile& staged) : cdx_(cdx) { cdx_.StageIn(&staged); }
  ~StagingScope() { cdx_.StageIn(nullptr); }
  StagingScope(const StagingScope&) = delete;
  StagingScope& operator=(const StagingScope&) = delete;

 private:
  CdxFile& cdx_;
};

bool ByKeyAndRecord(const CdxEntry& x, const CdxEntry& y) {
  return std::tie(x.key, x.recno) < std::tie(y.key, y.recno);
}

// Counts the entries that `rebuilt` (sorted) drops from and adds to what the tag's tree holds now.
void CompareWithOldTree(const CdxFile& cdx, const CdxTag& tag, char pad, const std::vector<CdxEntry>& rebuilt,
                        TagRebuild& report) {
  std::vector<CdxEntry> old;
  try {
    cdx.ForEachEntry(tag, pad, [&](const CdxEntry& e) {
      old.push_back(e);
      return true;
    });
  } catch (const CorruptTableError& e) {
    report.oldTreeFault = e.what();
    return;
  }
  std::sort(old.begin(), old.end(), ByKeyAndRecord);
  std::vector<CdxEntry> difference;
  std::set_difference(old.begin(), old.end(), rebuilt.begin(), rebuilt.end(), std::back_inserter(difference),
                      ByKeyAndRecord);
  report.removed = difference.size();
  difference.clear();
  std::set_difference(rebuilt.begin(), rebuilt.end(), old.begin(), old.end(), std::back_inserter(difference),
                      ByKeyAndRecord);
  report.added = difference.size();
}

CdxTag* FindIn(std::vector<CdxTag>& tags, const std::string& name) {
  for (CdxTag& t : tags)
    if (t.name == name) return &t;
  return nullptr;
}

}  // namespace

TableIndex::TableIndex(const std::filesystem::path& dbfPath, const std::string& tableName,
                       const TableLayout& layout, const KeyExpressionCompiler& compiler, Binding binding)
    : tableName_(tableName) {
  const auto path = FindCompanionFile(dbfPath, "cdx");
  if (!path)
    throw IndexedTableWriteError("Table " + tableName + " has a structural index flag but its index file " +
                                 tableName + ".cdx is missing; nothing was written");
  try {
    cdx_ = std::make_unique<CdxFile>(SharedFile::Open(NarrowPath(*path), SharedFile::Mode::kReadWrite),
                                     tableName);
  } catch (const FileAccessError& e) {
    throw IndexedTableWriteError("Index of table " + tableName +
                                 " cannot be opened for writing: " + e.what());
  }
  std::string blank(layout.recordLength, ' ');
  for (const Field& f : layout.allFields) EncodeBlank(f, blank);
  for (const CdxTag& tag : cdx_->tags()) {
    BoundTag b;
    b.name = tag.name;
    b.key = compiler.Compile(layout, tag.keyExpression);
    if (!tag.forExpression.empty()) b.filter = compiler.Compile(layout, tag.forExpression);
    // RUSSIAN keys are weights of Windows-1251 characters; a table storing 866 text would need other weights.
    const bool supportedCollation =
        tag.collation.empty() || (tag.collation == "RUSSIAN" && layout.codePageMark != kCodePage866);
    if (!b.key || (!tag.forExpression.empty() && !b.filter) || !supportedCollation || tag.unique()) {
      const std::string expression =
          tag.keyExpression + (tag.forExpression.empty() ? "" : " FOR " + tag.forExpression);
      if (binding == Binding::kEveryTag)
        throw IndexedTableWriteError("Table " + tableName + ": index tag " + tag.name + " (" + expression +
                                     ") cannot be maintained by this program; nothing was written");
      refused_.push_back(
          {tag.name, expression + ": " +
                         (tag.unique()          ? "a UNIQUE tag"
                          : !supportedCollation ? "collation " + tag.collation + " is not supported"
                                                : "the expression cannot be evaluated")});
      continue;
    }
    const KeyValue sample = b.key->Evaluate(blank);
    b.pad = CdxFile::PadByte(tag, IsCharacterKey(sample));
    b.dateTimeKey = sample.type == KeyValue::Type::kDateTime;
    bound_.push_back(std::move(b));
  }
}

void TableIndex::Lock(HeldLocks& locks, const LockTiming& timing) {
  if (!locks.Acquire(cdx_->file(), kIndexLockByte, timing))
    throw RecordLockedError("Index of table " + tableName_ + " is in use by another user");
  cdx_->Reload();
}

std::optional<std::string> TableIndex::KeyOf(const BoundTag& b, const CdxTag& tag,
                                             std::string_view record) const {
  if (record.empty()) return std::nullopt;
  if (b.filter) {
    const KeyValue keep = b.filter->Evaluate(record);
    if (keep.type != KeyValue::Type::kLogical || keep.null || !keep.logical) return std::nullopt;
  }
  return EncodeKey(tag, b.key->Evaluate(record));
}

void TableIndex::Stage(const std::vector<RecordChangeForIndex>& changes, StagedFile& staged, HeldLocks& locks,
                       const LockTiming& timing) {
  const StagingScope scope(*cdx_, staged);
  Lock(locks, timing);
  std::vector<CdxTag> tags = cdx_->tags();
  CdxWriter writer(*cdx_);
  struct TagWork {
    std::vector<CdxEntry> removals, insertions;
  };
  std::vector<TagWork> work(bound_.size());
  for (size_t t = 0; t < bound_.size(); ++t) {
    const BoundTag& b = bound_[t];
    const CdxTag* tag = cdx_->FindTag(b.name);
    if (!tag) throw IndexedTableWriteError("Index of table " + tableName_ + " lost its tag " + b.name);
    for (const RecordChangeForIndex& c : changes) {
      const auto before = KeyOf(b, *tag, c.before), after = KeyOf(b, *tag, c.after);
      if (before == after) continue;
      if (before) work[t].removals.push_back({*before, c.recno});
      if (after) work[t].insertions.push_back({*after, c.recno});
    }
    // Checks first: the old entries exist; candidate keys stay unique.
    for (CdxEntry& e : work[t].removals) {
      if (writer.Contains(*tag, b.pad, e)) continue;
      // VFP builds some datetime keys one unit in the last place lower than the plain formula does.
      if (b.dateTimeKey) {
        CdxEntry lower{OneUnitLower(e.key), e.recno};
        if (writer.Contains(*tag, b.pad, lower)) {
          e = std::move(lower);
          continue;
        }
      }
      throw CorruptTableError("Index of table " + tableName_ + " is out of date: tag " + b.name +
                              " has no entry for record " + std::to_string(e.recno) +
                              "; nothing was written");
    }
    if (tag->candidate()) {
      std::set<std::string> fresh;
      std::map<std::string, std::set<uint32_t>> leaving;
      for (const CdxEntry& e : work[t].removals) leaving[e.key].insert(e.recno);
      for (const CdxEntry& e : work[t].insertions) {
        uint32_t other = writer.OtherRecordWithKey(*tag, b.pad, e.key, e.recno);
        if (!fresh.insert(e.key).second || (other != 0 && !leaving[e.key].count(other)))
          throw FieldValueError("Uniqueness of index " + b.name + " is violated; nothing was written");
      }
    }
  }
  // A write that changes no key leaves the index as it is, its change counter too (as VFP does).
  if (std::all_of(work.begin(), work.end(),
                  [](const TagWork& w) { return w.removals.empty() && w.insertions.empty(); }))
    return;
  for (size_t t = 0; t < bound_.size(); ++t) {
    CdxTag* tag = FindIn(tags, bound_[t].name);
    for (const CdxEntry& e : work[t].removals) writer.Remove(*tag, bound_[t].pad, e);
    for (const CdxEntry& e : work[t].insertions) writer.Insert(*tag, bound_[t].pad, e);
  }
  writer.BumpChangeCounter();
}

size_t TableIndex::StageReconcile(const std::vector<RecordHistory>& records, StagedFile& staged) {
  const StagingScope scope(*cdx_, staged);
  cdx_->Reload();
  std::vector<CdxTag> tags = cdx_->tags();
  CdxWriter writer(*cdx_);
  size_t changed = 0;
  for (const BoundTag& b : bound_) {
    CdxTag* tag = FindIn(tags, b.name);
    if (!tag) continue;
    // Removes the entry (or VFP's datetime variant of it) when present; true when it was.
    auto removeIfThere = [&](const std::string& key, uint32_t recno) {
      CdxEntry e{key, recno};
      if (!writer.Contains(*tag, b.pad, e)) {
        if (!b.dateTimeKey) return;
        e.key = OneUnitLower(key);
        if (!writer.Contains(*tag, b.pad, e)) return;
      }
      writer.Remove(*tag, b.pad, e);
      ++changed;
    };
    for (const RecordHistory& r : records) {
      const std::optional<std::string> now = r.now ? KeyOf(b, *tag, *r.now) : std::nullopt;
      std::set<std::string> stale;
      for (std::string_view image : r.earlier)
        if (auto key = KeyOf(b, *tag, image); key && key != now) stale.insert(*key);
      for (const std::string& key : stale) removeIfThere(key, r.recno);
      if (!now) continue;
      const bool present = writer.Contains(*tag, b.pad, {*now, r.recno}) ||
                           (b.dateTimeKey && writer.Contains(*tag, b.pad, {OneUnitLower(*now), r.recno}));
      if (present) continue;
      writer.Insert(*tag, b.pad, {*now, r.recno});
      ++changed;
    }
  }
  if (changed > 0) writer.BumpChangeCounter();
  return changed;
}

std::vector<TagRebuild> TableIndex::Rebuild(const RecordWalk& walk) {
  std::vector<TagRebuild> report;
  std::vector<std::pair<uint32_t, uint32_t>> roots;  // tag header offset, new root
  SharedFile& file = cdx_->file();
  for (const BoundTag& b : bound_) {
    const CdxTag* tag = cdx_->FindTag(b.name);
    if (!tag) continue;
    std::vector<CdxEntry> entries;
    walk([&](uint32_t recno, std::string_view record) {
      if (auto key = KeyOf(b, *tag, record)) entries.push_back({std::move(*key), recno});
    });
    std::sort(entries.begin(), entries.end(), ByKeyAndRecord);
    TagRebuild done;
    done.tag = b.name;
    done.rebuilt = true;
    done.entries = entries.size();
    CompareWithOldTree(*cdx_, *tag, b.pad, entries, done);
    const uint64_t end = (file.Size() + kCdxPageSize - 1) / kCdxPageSize * kCdxPageSize;
    if (end > 0xFFFFFFFFu - kCdxPageSize)
      throw TableFileError("Index of table " + tableName_ + " is too large to rebuild tag " + b.name);
    const CdxTree tree = BuildTagTree(entries, tag->keyLength, b.pad, static_cast<uint32_t>(end));
    file.WriteAt(end, tree.pages);
    roots.emplace_back(tag->headerOffset, tree.root);
    report.push_back(std::move(done));
  }
  for (const RefusedTag& r : refused_) {
    TagRebuild left;
    left.tag = r.name;
    left.reason = r.reason;
    report.push_back(std::move(left));
  }
  if (roots.empty()) return report;
  file.Sync();
  char bytes[4];
  for (auto [header, root] : roots) {
    StoreLe32(bytes, root);
    file.WriteAt(header, bytes);
  }
  StoreLe32(bytes, 0);  // the free-page list starts empty: none of its pages is known to be free any more
  file.WriteAt(4, bytes);
  CdxWriter(*cdx_).BumpChangeCounter();
  file.Sync();
  cdx_->Reload();
  return report;
}

}  // namespace vorel::dbf
