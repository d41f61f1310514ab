#pragma once

#include "dbf/cdx_file.h"

// Changing the entries of a CDX tag in place: inserts and removals with leaf re-encoding, node splits,
// sibling links and parent "last key" entries kept true up to the root. Pages emptied by removals go on the
// free-page list of the file header (offset 4; each free page holds the next one's offset in its first four
// bytes), and new pages come from that list before the file grows, once the list is found to name no page in
// use. The caller holds the index lock.
namespace vorel::dbf {

class CdxWriter {
 public:
  explicit CdxWriter(CdxFile& cdx) : cdx_(cdx) {}

  // True when the tag holds exactly this entry.
  bool Contains(const CdxTag& tag, char pad, const CdxEntry& entry);
  // The record number of another entry with this key, or 0 when there is none besides `recno`.
  uint32_t OtherRecordWithKey(const CdxTag& tag, char pad, const std::string& key, uint32_t recno);
  void Insert(CdxTag& tag, char pad, const CdxEntry& entry);
  // CorruptTableError when the entry is not there.
  void Remove(CdxTag& tag, char pad, const CdxEntry& entry);
  // Adds one to the change counter at offset 8 of the file header (big-endian).
  void BumpChangeCounter();

 private:
  struct Step {
    CdxNode node;
    size_t index = 0;  // child taken (interior nodes)
  };
  std::vector<Step> Descend(const CdxTag& tag, char pad, const CdxEntry& entry);
  void Store(CdxTag& tag, char pad, std::vector<Step>& path, size_t depth);
  void WriteNode(const CdxNode& node, uint16_t keyLength, char pad);
  std::string EncodeNode(const CdxNode& node, uint16_t keyLength, char pad);
  uint32_t AllocatePage();
  void FreePage(uint32_t page);
  void PatchSibling(uint32_t page, size_t at, uint32_t value);

  CdxFile& cdx_;
  bool freeListChecked_ = false;  // the free list was found sound (or emptied) for this writer's statement
};

}  // namespace vorel::dbf
