#include "dbf/table_index.h"

#include <algorithm>
#include <map>
#include <set>

#include "dbf/cdx_writer.h"
#include "dbf/dbf_errors.h"
#include "dbf/field_encode.h"
#include "dbf/file_lookup.h"
#include "dbf/index_key.h"

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

}  // namespace

TableIndex::TableIndex(const std::filesystem::path& dbfPath, const std::string& tableName,
                       const TableLayout& layout, const KeyExpressionCompiler& compiler)
    : tableName_(tableName) {
  const auto path = FindFileIgnoringCase(dbfPath.parent_path(), dbfPath.stem().string() + ".cdx");
  if (!path)
    throw IndexedTableWriteError("Table " + tableName + " has a structural index flag but its index file " +
                                 dbfPath.stem().string() + ".cdx is missing; nothing was written");
  try {
    cdx_ =
        std::make_unique<CdxFile>(SharedFile::Open(path->string(), SharedFile::Mode::kReadWrite), tableName);
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
    if (!b.key || (!tag.forExpression.empty() && !b.filter) || !supportedCollation || tag.unique())
      throw IndexedTableWriteError("Table " + tableName + ": index tag " + tag.name + " (" +
                                   tag.keyExpression +
                                   (tag.forExpression.empty() ? "" : " FOR " + tag.forExpression) +
                                   ") cannot be maintained by this program; nothing was written");
    const KeyValue sample = b.key->Evaluate(blank);
    b.pad = CdxFile::PadByte(tag, IsCharacterKey(sample));
    b.dateTimeKey = sample.type == KeyValue::Type::kDateTime;
    bound_.push_back(std::move(b));
  }
}

void TableIndex::Apply(const std::vector<RecordChangeForIndex>& changes, const LockTiming& timing) {
  HeldLocks lock;
  if (!lock.Acquire(cdx_->file(), kIndexLockByte, timing))
    throw RecordLockedError("Index of table " + tableName_ + " is in use by another user");
  cdx_->Reload();
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
    auto keyOf = [&](std::string_view record) -> std::optional<std::string> {
      if (record.empty()) return std::nullopt;
      if (b.filter) {
        const KeyValue keep = b.filter->Evaluate(record);
        if (keep.type != KeyValue::Type::kLogical || keep.null || !keep.logical) return std::nullopt;
      }
      return EncodeKey(*tag, b.key->Evaluate(record));
    };
    for (const RecordChangeForIndex& c : changes) {
      const auto before = keyOf(c.before), after = keyOf(c.after);
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
  for (size_t t = 0; t < bound_.size(); ++t) {
    CdxTag* tag = nullptr;
    for (CdxTag& candidate : tags)
      if (candidate.name == bound_[t].name) tag = &candidate;
    for (const CdxEntry& e : work[t].removals) writer.Remove(*tag, bound_[t].pad, e);
    for (const CdxEntry& e : work[t].insertions) writer.Insert(*tag, bound_[t].pad, e);
  }
  writer.BumpChangeCounter();
  cdx_->file().Sync();
}

}  // namespace vorel::dbf
