#include "dbf/index_seek.h"

#include <thread>

#include "dbf/dbf_errors.h"
#include "dbf/field_encode.h"
#include "dbf/index_key.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel::dbf {

IndexReader::IndexReader(const Table& table, const KeyExpressionCompiler& compiler) {
  const auto path = FindCompanionFile(table.path(), "cdx");
  if (!path) throw TableFileError("Table " + table.name() + " has no structural index");
  cdx_ =
      std::make_unique<CdxFile>(SharedFile::Open(NarrowPath(*path), SharedFile::Mode::kRead), table.name());
  const TableLayout& layout = table.layout();
  std::string blank(layout.recordLength, ' ');
  for (const Field& f : layout.allFields) EncodeBlank(f, blank);
  for (const CdxTag& t : cdx_->tags()) {
    tags_.push_back({t.name, t.keyExpression, t.forExpression, t.candidate(), t.unique(), t.nullable(),
                     t.descending, t.keyLength, t.collation});
    auto key = compiler.Compile(layout, t.keyExpression);
    const bool character = key ? IsCharacterKey(key->Evaluate(blank))
                               : !(t.keyLength == 1 || t.keyLength == 4 || t.keyLength == 8);
    pads_.push_back(CdxFile::PadByte(t, character));
  }
}

const CdxTag& IndexReader::Tag(std::string_view name) const {
  if (const CdxTag* t = cdx_->FindTag(name)) return *t;
  throw TableFileError("Index of table " + cdx_->tableName() + " has no tag " + std::string(name));
}

char IndexReader::PadOf(std::string_view name) const {
  const std::string& found = Tag(name).name;
  for (size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].name == found) return pads_[i];
  throw TableFileError("Index of table " + cdx_->tableName() + " has no tag " + std::string(name));
}

std::string IndexReader::KeyOf(std::string_view tag, const KeyValue& value) const {
  return EncodeKey(Tag(tag), value);
}

void IndexReader::SeekFrom(std::string_view tag, const KeyValue& value,
                           const std::function<bool(uint32_t, std::string_view)>& visit) {
  const CdxTag& t = Tag(tag);
  cdx_->SeekFrom(t, PadOf(tag), EncodeKey(t, value),
                 [&](const CdxEntry& e) { return visit(e.recno, e.key); });
}

bool IndexReader::SeekRange(std::string_view tag, std::string_view low, std::string_view high,
                            const std::function<bool(uint32_t)>& visit, const LockTiming& timing) {
  constexpr uint64_t kIndexLockByte = 0x7FFFFFFE;
  const char pad = PadOf(tag);
  SharedFile& file = cdx_->file();
  const auto deadline = std::chrono::steady_clock::now() + timing.wait;
  while (!file.TryLockShared(kIndexLockByte, 1)) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(timing.retryInterval, deadline - now));
  }
  struct Unlock {
    SharedFile& file;
    ~Unlock() {
      try {
        file.Unlock(kIndexLockByte, 1);
      } catch (...) {
        // Closing the file releases the lock in any case.
      }
    }
  } unlock{file};
  // A writer may have changed the tree since the directory was read: the root may have moved.
  cdx_->Reload();
  const CdxTag& fresh = Tag(tag);
  cdx_->SeekFrom(fresh, pad, low, [&](const CdxEntry& e) {
    if (std::string_view(e.key) > high) return false;
    return visit(e.recno);
  });
  return true;
}

std::vector<uint32_t> IndexReader::SeekEqual(std::string_view tag, const KeyValue& value) {
  const std::string key = KeyOf(tag, value);
  std::vector<uint32_t> recnos;
  SeekFrom(tag, value, [&](uint32_t recno, std::string_view stored) {
    if (stored != key) return false;
    recnos.push_back(recno);
    return true;
  });
  return recnos;
}

}  // namespace vorel::dbf
