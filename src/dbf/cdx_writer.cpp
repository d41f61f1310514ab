#include "dbf/cdx_writer.h"

#include <algorithm>
#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/cdx_build.h"
#include "dbf/cdx_free_list.h"
#include "dbf/dbf_errors.h"
#include "dbf/file_limits.h"

namespace vorel::dbf {

namespace {

bool Less(const CdxEntry& a, const CdxEntry& b) {
  return std::tie(a.key, a.recno) < std::tie(b.key, b.recno);
}
bool Same(const CdxEntry& a, const CdxEntry& b) {
  return a.key == b.key && a.recno == b.recno;
}

}  // namespace

std::vector<CdxWriter::Step> CdxWriter::Descend(const CdxTag& tag, char pad, const CdxEntry& entry) {
  std::vector<Step> path;
  uint32_t offset = tag.rootOffset;
  while (true) {
    if (path.size() > 32)
      throw CorruptTableError("Index of table " + cdx_.tableName() + " is damaged: tag " + tag.name +
                              " is too deep");
    Step step{cdx_.ReadNode(offset, tag.keyLength, pad), 0};
    if (step.node.isLeaf()) {
      path.push_back(std::move(step));
      return path;
    }
    if (step.node.entries.empty())
      throw CorruptTableError("Index of table " + cdx_.tableName() +
                              " is damaged: empty interior node in tag " + tag.name);
    // The first child whose last entry is not below the entry; the last child for anything larger.
    size_t i = 0;
    while (i + 1 < step.node.entries.size() && Less(step.node.entries[i], entry)) ++i;
    step.index = i;
    offset = step.node.children[i];
    path.push_back(std::move(step));
  }
}

bool CdxWriter::Contains(const CdxTag& tag, char pad, const CdxEntry& entry) {
  const auto path = Descend(tag, pad, entry);
  for (const CdxEntry& e : path.back().node.entries)
    if (Same(e, entry)) return true;
  return false;
}

uint32_t CdxWriter::OtherRecordWithKey(const CdxTag& tag, char pad, const std::string& key, uint32_t recno) {
  uint32_t other = 0;
  cdx_.SeekFrom(tag, pad, key, [&](const CdxEntry& e) {
    if (e.key != key) return false;
    if (e.recno != recno) {
      other = e.recno;
      return false;
    }
    return true;
  });
  return other;
}

void CdxWriter::Insert(CdxTag& tag, char pad, const CdxEntry& entry) {
  auto path = Descend(tag, pad, entry);
  auto& entries = path.back().node.entries;
  entries.insert(std::upper_bound(entries.begin(), entries.end(), entry, Less), entry);
  Store(tag, pad, path, path.size() - 1);
}

void CdxWriter::Remove(CdxTag& tag, char pad, const CdxEntry& entry) {
  auto path = Descend(tag, pad, entry);
  auto& entries = path.back().node.entries;
  auto it = std::find_if(entries.begin(), entries.end(), [&](const CdxEntry& e) { return Same(e, entry); });
  if (it == entries.end())
    throw CorruptTableError("Index of table " + cdx_.tableName() + " is out of date: tag " + tag.name +
                            " has no entry for record " + std::to_string(entry.recno));
  entries.erase(it);
  Store(tag, pad, path, path.size() - 1);
}

std::string CdxWriter::EncodeNode(const CdxNode& node, uint16_t keyLength, char pad) {
  if (node.isLeaf()) {
    uint32_t maxRecno = 1;
    for (const CdxEntry& e : node.entries) maxRecno = std::max(maxRecno, e.recno);
    return EncodeLeafPage(node.entries, keyLength, pad, maxRecno, node.isRoot() ? 3 : 2, node.left,
                          node.right);
  }
  if (node.entries.size() * (keyLength + 8u) > kCdxPageSize - 12) return {};
  std::string page(kCdxPageSize, '\0');
  StoreLe16(&page[0], node.isRoot() ? 1 : 0);
  StoreLe16(&page[2], static_cast<uint16_t>(node.entries.size()));
  StoreLe32(&page[4], node.left);
  StoreLe32(&page[8], node.right);
  for (size_t i = 0; i < node.entries.size(); ++i) {
    char* e = &page[12 + i * (keyLength + 8u)];
    std::memcpy(e, node.entries[i].key.data(), keyLength);
    StoreBe32(e + keyLength, node.entries[i].recno);
    StoreBe32(e + keyLength + 4, node.children[i]);
  }
  return page;
}

void CdxWriter::WriteNode(const CdxNode& node, uint16_t keyLength, char pad) {
  const std::string page = EncodeNode(node, keyLength, pad);
  if (page.empty()) throw TableFileError("Index of table " + cdx_.tableName() + ": node does not fit");
  cdx_.Write(node.offset, page);
}

namespace {

// The head of the free-page list in the file header, or kCdxNoPage when the list is empty or its head does
// not point at a page of the file (then it is left alone and new pages go at the end).
uint32_t FreeListHead(const CdxFile& cdx) {
  char bytes[4];
  if (cdx.Read(4, bytes) < 4) return kCdxNoPage;
  const uint32_t head = LoadLe32(bytes);
  if (head == 0 || head == kCdxNoPage || head % kCdxPageSize != 0 || head < 3 * kCdxPageSize ||
      uint64_t{head} + kCdxPageSize > cdx.FileSize())
    return kCdxNoPage;
  return head;
}

}  // namespace

void CdxWriter::FreePage(uint32_t page) {
  char head[4];
  if (cdx_.Read(4, head) < 4) return;
  // The freed page holds the next free page's offset in its first four bytes; the rest is cleared.
  std::string bytes(kCdxPageSize, '\0');
  std::memcpy(bytes.data(), head, 4);
  cdx_.Write(page, bytes);
  char link[4];
  StoreLe32(link, page);
  cdx_.Write(4, link);
}

uint32_t CdxWriter::AllocatePage() {
  uint32_t free = FreeListHead(cdx_);
  if (free != kCdxNoPage && !freeListChecked_) {
    // A list that names a page in use, leaves the file or runs in a loop would hand out a live page: it is
    // emptied instead (the pages on it stay unused) and new pages go at the end.
    freeListChecked_ = true;
    bool sound = false;
    try {
      sound = FreeListProblems(cdx_, PagesInUse(cdx_)).empty();
    } catch (const CorruptTableError&) {
    }
    if (!sound) {
      cdx_.Write(4, std::string(4, '\0'));
      free = kCdxNoPage;
    }
  }
  if (free != kCdxNoPage) {
    char next[4];
    if (cdx_.Read(free, next) == 4) {
      cdx_.Write(4, next);
      cdx_.Write(free, std::string(kCdxPageSize, '\0'));
      return free;
    }
  }
  const uint64_t size = cdx_.FileSize();
  const uint64_t offset = (size + kCdxPageSize - 1) / kCdxPageSize * kCdxPageSize;
  if (offset + kCdxPageSize > kCompanionFileLimit)
    throw TableFileError("Index of table " + cdx_.tableName() +
                         " has reached its size limit of 2 GB; nothing was written");
  cdx_.Write(offset, std::string(kCdxPageSize, '\0'));
  return static_cast<uint32_t>(offset);
}

void CdxWriter::PatchSibling(uint32_t page, size_t at, uint32_t value) {
  if (page == kCdxNoPage) return;
  char bytes[4];
  StoreLe32(bytes, value);
  cdx_.Write(page + at, bytes);
}

// Writes the node at path[depth] (splitting it when it does not fit) and brings its parent up to date, up to
// the root.
void CdxWriter::Store(CdxTag& tag, char pad, std::vector<Step>& path, size_t depth) {
  CdxNode& node = path[depth].node;
  const bool root = depth == 0;
  std::optional<CdxNode> right;
  if (!root && node.entries.empty()) {
    // An emptied node leaves the tree: unlink it and drop its parent entry.
    PatchSibling(node.left, 8, node.right);
    PatchSibling(node.right, 4, node.left);
    FreePage(node.offset);
    Step& parent = path[depth - 1];
    parent.node.entries.erase(parent.node.entries.begin() + static_cast<ptrdiff_t>(parent.index));
    parent.node.children.erase(parent.node.children.begin() + static_cast<ptrdiff_t>(parent.index));
    Store(tag, pad, path, depth - 1);
    return;
  }
  if (root && !node.isLeaf() && node.entries.empty()) node.attributes = 3;  // the tree is empty again
  if (EncodeNode(node, tag.keyLength, pad).empty()) {
    // Split in the middle; the right half goes to a new page after this one on the same level.
    CdxNode half;
    half.offset = AllocatePage();
    half.attributes = static_cast<uint16_t>(node.attributes & 0x02);
    const size_t keep = node.entries.size() / 2;
    half.entries.assign(node.entries.begin() + static_cast<ptrdiff_t>(keep), node.entries.end());
    node.entries.resize(keep);
    if (!node.children.empty()) {
      half.children.assign(node.children.begin() + static_cast<ptrdiff_t>(keep), node.children.end());
      node.children.resize(keep);
    }
    half.left = node.offset;
    half.right = node.right;
    PatchSibling(node.right, 4, half.offset);
    node.right = half.offset;
    right = std::move(half);
  }
  if (root && right) {
    // A new root above the two halves; the tag header points to it.
    node.attributes = static_cast<uint16_t>(node.attributes & ~0x01);
    right->attributes = static_cast<uint16_t>(right->attributes & ~0x01);
    WriteNode(node, tag.keyLength, pad);
    WriteNode(*right, tag.keyLength, pad);
    CdxNode top;
    top.offset = AllocatePage();
    top.attributes = 1;
    top.entries = {node.entries.back(), right->entries.back()};
    top.children = {node.offset, right->offset};
    WriteNode(top, tag.keyLength, pad);
    char bytes[4];
    StoreLe32(bytes, top.offset);
    cdx_.Write(tag.headerOffset, bytes);
    tag.rootOffset = top.offset;
    return;
  }
  WriteNode(node, tag.keyLength, pad);
  if (right) WriteNode(*right, tag.keyLength, pad);
  if (root) return;
  Step& parent = path[depth - 1];
  const size_t i = parent.index;
  parent.node.entries[i] = node.entries.back();
  if (right) {
    parent.node.entries.insert(parent.node.entries.begin() + static_cast<ptrdiff_t>(i + 1),
                               right->entries.back());
    parent.node.children.insert(parent.node.children.begin() + static_cast<ptrdiff_t>(i + 1), right->offset);
  }
  Store(tag, pad, path, depth - 1);
}

void CdxWriter::BumpChangeCounter() {
  char bytes[4];
  StoreBe32(bytes, cdx_.ChangeCounter() + 1);
  cdx_.Write(8, bytes);
}

}  // namespace vorel::dbf
