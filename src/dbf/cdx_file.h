#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/staged_file.h"
#include "platform/shared_file.h"

// Reading a structural CDX index: the file header, the tag directory, each tag's header and its B+-tree of
// 512-byte nodes (interior nodes with full keys; compact leaves with per-node bit widths). Every offset and
// count is checked against the file: damaged bytes give CorruptTableError, never a read outside a page.
namespace vorel::dbf {

inline constexpr uint32_t kCdxPageSize = 512;
inline constexpr uint32_t kCdxNoPage = 0xFFFFFFFF;

// Tag option bits (tag header byte 14).
inline constexpr uint8_t kTagUnique = 0x01;
inline constexpr uint8_t kTagNullable = 0x02;
inline constexpr uint8_t kTagCandidate = 0x04;
inline constexpr uint8_t kTagHasFor = 0x08;

struct CdxTag {
  std::string name;           // upper case, from the directory
  uint32_t headerOffset = 0;  // byte offset of the tag header
  uint32_t rootOffset = 0;
  uint32_t freeList = 0;
  uint16_t keyLength = 0;
  uint8_t options = 0;
  uint8_t signature = 0;
  std::string collation;  // "" for MACHINE, else e.g. "GENERAL", "RUSSIAN"
  bool descending = false;
  std::string keyExpression;  // as typed when the tag was created
  std::string forExpression;  // empty when the tag has no FOR clause

  bool candidate() const { return (options & kTagCandidate) != 0; }
  bool unique() const { return (options & kTagUnique) != 0; }
  bool nullable() const { return (options & kTagNullable) != 0; }
};

struct CdxEntry {
  std::string key;  // keyLength bytes, pad bytes included
  uint32_t recno = 0;
};

// One node as stored. Interior nodes have `children` (one per entry); leaves have none.
struct CdxNode {
  uint32_t offset = 0;
  uint16_t attributes = 0;  // 0x01 root, 0x02 leaf (bit 0x04 seen in VFP files, meaning unknown)
  uint32_t left = kCdxNoPage;
  uint32_t right = kCdxNoPage;
  std::vector<CdxEntry> entries;
  std::vector<uint32_t> children;
  // Leaf encoding as stored, for checks.
  uint16_t freeBytes = 0;
  uint8_t recBits = 0, dupBits = 0, trailBits = 0, entryBytes = 0;

  bool isRoot() const { return (attributes & 0x01) != 0; }
  bool isLeaf() const { return (attributes & 0x02) != 0; }
};

class CdxFile {
 public:
  // Reads the header and tag directory of an open .cdx file. `tableName` is used in messages.
  CdxFile(SharedFile file, std::string tableName);

  const std::vector<CdxTag>& tags() const { return tags_; }
  // Reads the header and the tag directory again (another program may have changed them).
  void Reload();
  const CdxTag* FindTag(std::string_view name) const;
  // The change counter at file offset 8 (big-endian), re-read from disk.
  uint32_t ChangeCounter() const;
  SharedFile& file() { return file_; }

  // While a statement stages its changes in `staged` (nullptr: no longer), every read sees them and every
  // write goes there instead of to the file.
  void StageIn(StagedFile* staged) { staged_ = staged; }
  size_t Read(uint64_t offset, std::span<char> buffer) const {
    return staged_ ? staged_->ReadAt(offset, buffer) : file_.ReadAt(offset, buffer);
  }
  void Write(uint64_t offset, std::span<const char> bytes) {
    staged_ ? staged_->WriteAt(offset, bytes) : file_.WriteAt(offset, bytes);
  }
  uint64_t FileSize() const { return staged_ ? staged_->Size() : file_.Size(); }
  const std::string& tableName() const { return tableName_; }

  // Reads and decodes one node of a tree whose keys have `keyLength` bytes and trailing pad byte `pad`.
  CdxNode ReadNode(uint32_t offset, uint16_t keyLength, char pad) const;

  // Every entry of the tag in key order (leftmost leaf, then right siblings); stops when `visit` returns
  // false. Guards against sibling cycles.
  void ForEachEntry(const CdxTag& tag, char pad, const std::function<bool(const CdxEntry&)>& visit) const;

  // Entries from the first one whose key is >= `key` (compared over the key's bytes), in key order, until
  // `visit` returns false: an equality or range search that reads only the nodes on its way.
  void SeekFrom(const CdxTag& tag, char pad, std::string_view key,
                const std::function<bool(const CdxEntry&)>& visit) const;

  // The pad byte of a tag's keys: blank for MACHINE character keys, zero for all others. Character-ness comes
  // from the caller (the type of the key expression).
  static char PadByte(const CdxTag& tag, bool characterKey) {
    return characterKey && tag.collation.empty() && !tag.nullable() ? ' ' : '\0';
  }

 private:
  CdxTag ReadTagHeader(std::string name, uint32_t offset) const;
  SharedFile file_;
  StagedFile* staged_ = nullptr;
  std::string tableName_;
  std::vector<CdxTag> tags_;
};

}  // namespace vorel::dbf
