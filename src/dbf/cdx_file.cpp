#include "dbf/cdx_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"

namespace vorel::dbf {

namespace {

constexpr uint32_t kTagHeaderSize = 1024;
constexpr size_t kLeafKeyArea = 488;  // bytes 24..511

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

CdxFile::CdxFile(SharedFile file, std::string tableName)
    : file_(std::move(file)), tableName_(std::move(tableName)) {
  Reload();
}

void CdxFile::Reload() {
  tags_.clear();
  const CdxTag directory = ReadTagHeader("", 0);
  std::vector<std::pair<std::string, uint32_t>> names;
  ForEachEntry(directory, ' ', [&](const CdxEntry& e) {
    names.emplace_back(Trimmed(e.key), e.recno);
    return names.size() < 4096;
  });
  for (auto& [name, offset] : names) {
    // Tags are found by name: a nameless tag or a second tag of one name (VFP writes neither) would have
    // one tag's keys go into another's tree.
    if (name.empty())
      throw CorruptTableError("Index of table " + tableName_ +
                              " is damaged: its tag directory has a tag without a name");
    if (FindTag(name))
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: two tags are named " + name);
    tags_.push_back(ReadTagHeader(name, offset));
  }
}

const CdxTag* CdxFile::FindTag(std::string_view name) const {
  for (const CdxTag& t : tags_) {
    if (t.name.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(t.name[i])) ==
             std::toupper(static_cast<unsigned char>(name[i]));
    if (same) return &t;
  }
  return nullptr;
}

uint32_t CdxFile::ChangeCounter() const {
  char b[4];
  if (Read(8, b) < 4) throw CorruptTableError("Index of table " + tableName_ + " is truncated");
  return LoadBe32(b);
}

CdxTag CdxFile::ReadTagHeader(std::string name, uint32_t offset) const {
  auto corrupt = [&](const std::string& what) {
    return CorruptTableError("Index of table " + tableName_ + " is damaged: " +
                             (name.empty() ? std::string("file header") : "tag " + name) + " " + what);
  };
  if (offset % kCdxPageSize != 0) throw corrupt("lies at an unaligned offset");
  char h[kTagHeaderSize];
  if (Read(offset, std::span<char>(h, sizeof h)) < sizeof h) throw corrupt("lies past the end of the file");
  CdxTag t;
  t.name = std::move(name);
  t.headerOffset = offset;
  t.rootOffset = LoadLe32(h);
  t.freeList = LoadLe32(h + 4);
  t.keyLength = LoadLe16(h + 12);
  t.options = static_cast<uint8_t>(h[14]);
  t.signature = static_cast<uint8_t>(h[15]);
  t.collation = Trimmed(std::string_view(h + 494, 8));
  t.descending = LoadLe16(h + 502) != 0;
  const uint16_t forPos = LoadLe16(h + 504), forLen = LoadLe16(h + 506);
  const uint16_t keyPos = LoadLe16(h + 508), keyLen = LoadLe16(h + 510);
  if (keyPos + keyLen > 512 || forPos + forLen > 512) throw corrupt("has expressions outside its header");
  auto text = [&](uint16_t pos, uint16_t len) {
    std::string_view s(h + 512 + pos, len);
    return std::string(s.substr(0, s.find('\0')));
  };
  t.keyExpression = text(keyPos, keyLen);
  t.forExpression = text(forPos, forLen);
  if (t.keyLength == 0 || t.keyLength > 240) throw corrupt("has key length " + std::to_string(t.keyLength));
  return t;
}

CdxNode CdxFile::ReadNode(uint32_t offset, uint16_t keyLength, char pad) const {
  auto corrupt = [&](const std::string& what) {
    return CorruptTableError("Index of table " + tableName_ + " is damaged: node at " +
                             std::to_string(offset) + " " + what);
  };
  if (offset % kCdxPageSize != 0 || offset == 0) throw corrupt("lies at an invalid offset");
  char p[kCdxPageSize];
  if (Read(offset, p) < kCdxPageSize) throw corrupt("lies past the end of the file");
  CdxNode n;
  n.offset = offset;
  n.attributes = LoadLe16(p);
  const uint16_t count = LoadLe16(p + 2);
  n.left = LoadLe32(p + 4);
  n.right = LoadLe32(p + 8);
  if (!n.isLeaf()) {
    const size_t entrySize = keyLength + 8u;
    if (count * entrySize > kCdxPageSize - 12) throw corrupt("holds more keys than fit");
    for (size_t i = 0; i < count; ++i) {
      const char* e = p + 12 + i * entrySize;
      n.entries.push_back({std::string(e, keyLength), LoadBe32(e + keyLength)});
      n.children.push_back(LoadBe32(e + keyLength + 4));
    }
    return n;
  }
  n.freeBytes = LoadLe16(p + 12);
  const uint32_t recMask = LoadLe32(p + 14);
  const auto dupMask = static_cast<uint8_t>(p[18]), trailMask = static_cast<uint8_t>(p[19]);
  n.recBits = static_cast<uint8_t>(p[20]);
  n.dupBits = static_cast<uint8_t>(p[21]);
  n.trailBits = static_cast<uint8_t>(p[22]);
  n.entryBytes = static_cast<uint8_t>(p[23]);
  if (n.entryBytes == 0 || n.entryBytes > 8 || n.recBits > 32 || n.dupBits > 8 || n.trailBits > 8 ||
      n.recBits + n.dupBits + n.trailBits > 8 * n.entryBytes)
    throw corrupt("has invalid bit widths");
  if (recMask != (n.recBits == 32 ? 0xFFFFFFFFu : (1u << n.recBits) - 1) ||
      dupMask != (1u << n.dupBits) - 1 || trailMask != (1u << n.trailBits) - 1)
    throw corrupt("has masks that disagree with its bit widths");
  if (static_cast<size_t>(count) * n.entryBytes > kLeafKeyArea) throw corrupt("holds more entries than fit");
  size_t keyEnd = kCdxPageSize;  // key bytes are taken from the end of the page downwards
  const size_t entriesEnd = 24 + static_cast<size_t>(count) * n.entryBytes;
  std::string previous(keyLength, pad);
  for (size_t i = 0; i < count; ++i) {
    uint64_t v = 0;
    for (size_t b = 0; b < n.entryBytes; ++b)
      v |= static_cast<uint64_t>(static_cast<unsigned char>(p[24 + i * n.entryBytes + b])) << (8 * b);
    const auto recno = static_cast<uint32_t>(v & recMask);
    const size_t dup = (v >> n.recBits) & dupMask;
    const size_t trail = (v >> (n.recBits + n.dupBits)) & trailMask;
    if (dup + trail > keyLength || (i == 0 && dup != 0)) throw corrupt("has an entry with invalid counts");
    const size_t fresh = keyLength - dup - trail;
    if (keyEnd < entriesEnd + fresh) throw corrupt("has key bytes that overlap its entries");
    keyEnd -= fresh;
    std::string key = previous.substr(0, dup);
    key.append(p + keyEnd, fresh);
    key.append(trail, pad);
    n.entries.push_back({key, recno});
    previous = std::move(key);
  }
  return n;
}

void CdxFile::ForEachEntry(const CdxTag& tag, char pad,
                           const std::function<bool(const CdxEntry&)>& visit) const {
  // Down the leftmost children to the first leaf.
  uint32_t offset = tag.rootOffset;
  for (int depth = 0;; ++depth) {
    if (depth > 32)
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: tag " + tag.name +
                              " is too deep");
    CdxNode n = ReadNode(offset, tag.keyLength, pad);
    if (n.isLeaf()) break;
    if (n.children.empty())
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: empty interior node in tag " +
                              tag.name);
    offset = n.children.front();
  }
  std::unordered_set<uint32_t> seen;
  while (offset != kCdxNoPage) {
    if (!seen.insert(offset).second)
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: sibling links of tag " +
                              tag.name + " form a cycle");
    CdxNode n = ReadNode(offset, tag.keyLength, pad);
    if (!n.isLeaf())
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: a leaf of tag " + tag.name +
                              " links to an interior node");
    for (const CdxEntry& e : n.entries)
      if (!visit(e)) return;
    offset = n.right;
  }
}

void CdxFile::SeekFrom(const CdxTag& tag, char pad, std::string_view key,
                       const std::function<bool(const CdxEntry&)>& visit) const {
  auto before = [&](const std::string& entryKey) {
    return std::string_view(entryKey).substr(0, key.size()) < key;
  };
  uint32_t offset = tag.rootOffset;
  for (int depth = 0;; ++depth) {
    if (depth > 32)
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: tag " + tag.name +
                              " is too deep");
    CdxNode n = ReadNode(offset, tag.keyLength, pad);
    if (n.isLeaf()) break;
    // The first child whose last key is not before the searched one; past all of them there is nothing.
    size_t i = 0;
    while (i < n.entries.size() && before(n.entries[i].key)) ++i;
    if (i == n.entries.size()) return;
    offset = n.children[i];
  }
  std::unordered_set<uint32_t> seen;
  bool started = false;
  while (offset != kCdxNoPage) {
    if (!seen.insert(offset).second)
      throw CorruptTableError("Index of table " + tableName_ + " is damaged: sibling links of tag " +
                              tag.name + " form a cycle");
    CdxNode n = ReadNode(offset, tag.keyLength, pad);
    for (const CdxEntry& e : n.entries) {
      if (!started && before(e.key)) continue;
      started = true;
      if (!visit(e)) return;
    }
    offset = n.right;
  }
}

}  // namespace vorel::dbf
