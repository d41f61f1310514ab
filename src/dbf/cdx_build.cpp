#include "dbf/cdx_build.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"
#include "dbf/file_limits.h"
#include "dbf/index_key.h"
#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel::dbf {

namespace {

constexpr size_t kLeafArea = 488;
constexpr size_t kTagHeaderBytes = 1024;

uint8_t CountBits(uint16_t keyLength) {
  return static_cast<uint8_t>(std::bit_width(keyLength));
}

size_t Trail(std::string_view key, char pad) {
  size_t n = 0;
  while (n < key.size() && key[key.size() - 1 - n] == pad) ++n;
  return n;
}

// Bytes per leaf entry for record numbers up to maxRecno.
uint8_t EntryBytes(uint16_t keyLength, uint32_t maxRecno) {
  const int bits = 2 * CountBits(keyLength) + std::max(1, static_cast<int>(std::bit_width(maxRecno)));
  return static_cast<uint8_t>((bits + 7) / 8);
}

std::string TagHeader(uint32_t root, uint16_t keyLength, uint8_t options, const std::string& collation,
                      const std::string& keyExpression, const std::string& forExpression,
                      bool descending = false) {
  std::string h(kTagHeaderBytes, '\0');
  StoreLe32(&h[0], root);
  StoreLe16(&h[12], keyLength);
  h[14] = static_cast<char>(options);
  h[15] = static_cast<char>(collation.empty() ? 1 : 2);
  std::memcpy(&h[494], collation.data(), std::min<size_t>(collation.size(), 8));
  StoreLe16(&h[502], descending ? 1 : 0);
  const auto keyLen = static_cast<uint16_t>(keyExpression.size() + 1);
  const auto forLen = static_cast<uint16_t>(forExpression.size() + 1);
  StoreLe16(&h[504], keyLen);  // FOR text follows the key text in the pool
  StoreLe16(&h[506], forLen);
  StoreLe16(&h[508], 0);
  StoreLe16(&h[510], keyLen);
  std::memcpy(&h[512], keyExpression.data(), keyExpression.size());
  std::memcpy(&h[512 + keyLen], forExpression.data(), forExpression.size());
  return h;
}

}  // namespace

std::string EncodeLeafPage(std::span<const CdxEntry> entries, uint16_t keyLength, char pad, uint32_t maxRecno,
                           uint16_t attributes, uint32_t left, uint32_t right) {
  const uint8_t dupBits = CountBits(keyLength), trailBits = dupBits;
  const uint8_t entryBytes = EntryBytes(keyLength, maxRecno);
  const uint8_t recBits = static_cast<uint8_t>(std::min(32, 8 * entryBytes - dupBits - trailBits));
  std::string page(kCdxPageSize, '\0');
  StoreLe16(&page[0], attributes);
  StoreLe16(&page[2], static_cast<uint16_t>(entries.size()));
  StoreLe32(&page[4], left);
  StoreLe32(&page[8], right);
  StoreLe32(&page[14], recBits == 32 ? 0xFFFFFFFFu : (1u << recBits) - 1);
  page[18] = static_cast<char>((1u << dupBits) - 1);
  page[19] = static_cast<char>((1u << trailBits) - 1);
  page[20] = static_cast<char>(recBits);
  page[21] = static_cast<char>(dupBits);
  page[22] = static_cast<char>(trailBits);
  page[23] = static_cast<char>(entryBytes);
  size_t keyEnd = kCdxPageSize, entryEnd = 24;
  std::string_view previous;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& key = entries[i].key;
    const size_t trail = Trail(key, pad);
    size_t dup = 0;
    if (i > 0) {
      const size_t limit = keyLength - std::max(trail, Trail(previous, pad));
      while (dup < limit && previous[dup] == key[dup]) ++dup;
    }
    const size_t fresh = keyLength - dup - trail;
    if (entryEnd + entryBytes > keyEnd - fresh) return {};
    keyEnd -= fresh;
    std::memcpy(&page[keyEnd], key.data() + dup, fresh);
    const uint64_t v = entries[i].recno | (static_cast<uint64_t>(dup) << recBits) |
                       (static_cast<uint64_t>(trail) << (recBits + dupBits));
    for (size_t b = 0; b < entryBytes; ++b) page[entryEnd + b] = static_cast<char>((v >> (8 * b)) & 0xFF);
    entryEnd += entryBytes;
    previous = key;
  }
  StoreLe16(&page[12], static_cast<uint16_t>(keyEnd - entryEnd));
  return page;
}

CdxTree BuildTagTree(const std::vector<CdxEntry>& entries, uint16_t keyLength, char pad, uint32_t firstPage) {
  uint32_t maxRecno = 1;
  for (const CdxEntry& e : entries) maxRecno = std::max(maxRecno, e.recno);
  const size_t entryBytes = EntryBytes(keyLength, maxRecno);
  // Leaves: as many entries as fit, in order.
  std::vector<std::vector<CdxEntry>> leaves(1);
  size_t used = 0;
  std::string_view previous;
  for (const CdxEntry& e : entries) {
    const size_t trail = Trail(e.key, pad);
    size_t dup = 0;
    if (!leaves.back().empty()) {
      const size_t limit = keyLength - std::max(trail, Trail(previous, pad));
      while (dup < limit && previous[dup] == e.key[dup]) ++dup;
    }
    const size_t cost = entryBytes + keyLength - dup - trail;
    if (used + cost > kLeafArea) {
      leaves.emplace_back();
      used = entryBytes + keyLength - trail;
    } else {
      used += cost;
    }
    leaves.back().push_back(e);
    previous = e.key;
  }
  struct Level {
    std::vector<uint32_t> offsets;
    std::vector<CdxEntry> last;  // last entry of each node
  };
  uint32_t next = firstPage;
  CdxTree tree;
  Level level;
  for (size_t i = 0; i < leaves.size(); ++i) {
    level.offsets.push_back(next);
    next += kCdxPageSize;
    if (!leaves[i].empty()) level.last.push_back(leaves[i].back());
  }
  const bool single = leaves.size() == 1;
  for (size_t i = 0; i < leaves.size(); ++i) {
    const uint32_t left = i == 0 ? kCdxNoPage : level.offsets[i - 1];
    const uint32_t right = i + 1 == leaves.size() ? kCdxNoPage : level.offsets[i + 1];
    std::string page = EncodeLeafPage(leaves[i], keyLength, pad, maxRecno, single ? 3 : 2, left, right);
    if (page.empty())
      throw FieldValueError("Index key of length " + std::to_string(keyLength) + " does not fit");
    tree.pages += page;
  }
  const size_t capacity = (kCdxPageSize - 12) / (keyLength + 8u);
  while (level.offsets.size() > 1) {
    Level up;
    const size_t count = (level.offsets.size() + capacity - 1) / capacity;
    std::vector<uint32_t> offsets;
    for (size_t n = 0; n < count; ++n) offsets.push_back(next + static_cast<uint32_t>(n) * kCdxPageSize);
    next += static_cast<uint32_t>(count) * kCdxPageSize;
    for (size_t n = 0; n < count; ++n) {
      std::string page(kCdxPageSize, '\0');
      const size_t from = n * capacity, to = std::min(level.offsets.size(), from + capacity);
      StoreLe16(&page[0], count == 1 ? 1 : 0);
      StoreLe16(&page[2], static_cast<uint16_t>(to - from));
      StoreLe32(&page[4], n == 0 ? kCdxNoPage : offsets[n - 1]);
      StoreLe32(&page[8], n + 1 == count ? kCdxNoPage : offsets[n + 1]);
      for (size_t i = from; i < to; ++i) {
        char* e = &page[12 + (i - from) * (keyLength + 8u)];
        std::memcpy(e, level.last[i].key.data(), keyLength);
        StoreBe32(e + keyLength, level.last[i].recno);
        StoreBe32(e + keyLength + 4, level.offsets[i]);
      }
      tree.pages += page;
      up.offsets.push_back(offsets[n]);
      up.last.push_back(level.last[to - 1]);
    }
    level = std::move(up);
  }
  tree.root = level.offsets.front();
  return tree;
}

void CreateStructuralIndex(Table& table, std::span<const TagSpec> tags,
                           const KeyExpressionCompiler& compiler) {
  const TableLayout& layout = table.layout();
  if (layout.hasStructuralIndex() || FindCompanionFile(table.path(), "cdx"))
    throw TableFileError("Table " + table.name() + " already has a structural index");
  if (tags.empty()) throw FieldValueError("An index needs at least one tag");

  std::string blank(layout.recordLength, ' ');
  for (const Field& f : layout.allFields) EncodeBlank(f, blank);
  struct Built {
    CdxTag tag;
    std::vector<CdxEntry> entries;
    char pad;
  };
  std::vector<Built> built;
  for (const TagSpec& spec : tags) {
    std::string name;
    for (char c : spec.name) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.empty() || name.size() > 10 ||
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos)
      throw FieldValueError("Invalid tag name " + spec.name);
    for (const Built& b : built)
      if (b.tag.name == name) throw FieldValueError("Tag " + name + " appears twice");
    auto key = compiler.Compile(layout, spec.keyExpression);
    if (!key)
      throw FieldValueError("Tag " + name + ": the expression " + spec.keyExpression +
                            " cannot be evaluated");
    auto filter = spec.forExpression.empty() ? nullptr : compiler.Compile(layout, spec.forExpression);
    if (!spec.forExpression.empty() && !filter)
      throw FieldValueError("Tag " + name + ": the FOR expression " + spec.forExpression +
                            " cannot be evaluated");
    if (!spec.collation.empty() && (spec.collation != "RUSSIAN" || layout.codePageMark == kCodePage866))
      throw FieldValueError("Tag " + name + ": collation " + spec.collation +
                            " is not supported for this table's code page");

    Built b;
    b.tag.name = name;
    b.tag.collation = spec.collation;
    b.tag.keyExpression = spec.keyExpression;
    b.tag.forExpression = spec.forExpression;
    // A key over a nullable field is nullable: one more byte, the NULL prefix (as VFP marks such tags).
    std::string nulls = blank;
    for (const Field& f : layout.allFields)
      if (f.nullable()) EncodeNull(f, nulls);
    bool nullable = false;
    try {
      nullable = key->Evaluate(nulls).null;
    } catch (const Error&) {
      nullable = false;  // the expression cannot take NULLs apart; the blank record decides below
    }
    b.tag.options = static_cast<uint8_t>(0x60 | (spec.candidate ? kTagCandidate : 0) |
                                         (filter ? kTagHasFor : 0) | (nullable ? kTagNullable : 0));
    b.tag.descending = spec.descending;
    const KeyValue sample = key->Evaluate(blank);
    std::vector<std::pair<uint32_t, KeyValue>> values;
    size_t textLength = sample.text.size();
    TableScanner scan = table.Scan();
    RecordRef rec;
    while (scan.Next(rec)) {
      if (filter) {
        const KeyValue keep = filter->Evaluate(rec.bytes);
        if (keep.type != KeyValue::Type::kLogical || keep.null || !keep.logical) continue;
      }
      values.emplace_back(rec.recno, key->Evaluate(rec.bytes));
      textLength = std::max(textLength, values.back().second.text.size());
    }
    switch (sample.type) {
      case KeyValue::Type::kCharacter:
        b.tag.keyLength =
            static_cast<uint16_t>(std::clamp<size_t>(textLength, 1, 240) * (spec.collation.empty() ? 1 : 2));
        if (b.tag.keyLength > 240) b.tag.keyLength = 240;
        break;
      case KeyValue::Type::kInteger:
        b.tag.keyLength = 4;
        break;
      case KeyValue::Type::kLogical:
        b.tag.keyLength = 1;
        break;
      default:
        b.tag.keyLength = 8;
        break;
    }
    if (nullable) b.tag.keyLength = static_cast<uint16_t>(std::min(b.tag.keyLength + 1, 240));
    b.pad = CdxFile::PadByte(b.tag, sample.type == KeyValue::Type::kCharacter);
    for (auto& [recno, value] : values) b.entries.push_back({EncodeKey(b.tag, value), recno});
    std::sort(b.entries.begin(), b.entries.end(), [](const CdxEntry& x, const CdxEntry& y) {
      return std::tie(x.key, x.recno) < std::tie(y.key, y.recno);
    });
    if (spec.candidate)
      for (size_t i = 1; i < b.entries.size(); ++i)
        if (b.entries[i].key == b.entries[i - 1].key)
          throw FieldValueError("Uniqueness of index " + name + " is violated");
    built.push_back(std::move(b));
  }

  // File header and directory first, then each tag: header, leaves, interior levels.
  std::string file = TagHeader(0x400, 10, 0xE0, "", "", "");
  std::string body;
  uint32_t next = 0x600;
  std::vector<CdxEntry> directory;
  for (Built& b : built) {
    b.tag.headerOffset = next;
    CdxTree tree =
        BuildTagTree(b.entries, b.tag.keyLength, b.pad, next + static_cast<uint32_t>(kTagHeaderBytes));
    body += TagHeader(tree.root, b.tag.keyLength, b.tag.options, b.tag.collation, b.tag.keyExpression,
                      b.tag.forExpression, b.tag.descending);
    body += tree.pages;
    if (uint64_t{next} + kTagHeaderBytes + tree.pages.size() > kCompanionFileLimit)
      throw TableFileError("Index of table " + table.name() +
                           " would exceed its size limit of 2 GB; nothing was written");
    next += static_cast<uint32_t>(kTagHeaderBytes + tree.pages.size());
    std::string dirKey = b.tag.name;
    dirKey.resize(10, ' ');
    directory.push_back({dirKey, b.tag.headerOffset});
  }
  std::sort(directory.begin(), directory.end(),
            [](const CdxEntry& x, const CdxEntry& y) { return x.key < y.key; });
  std::string dirPage = EncodeLeafPage(directory, 10, ' ', next, 3, kCdxNoPage, kCdxNoPage);
  if (dirPage.empty()) throw FieldValueError("Too many tags for one index");
  file += dirPage;
  file += body;

  const std::filesystem::path path = CompanionFilePath(table.path(), "cdx");
  try {
    SharedFile cdx = SharedFile::CreateNew(NarrowPath(path));
    cdx.WriteAt(0, file);
    cdx.Sync();
  } catch (const FileAccessError& e) {
    throw TableFileError("Index of table " + table.name() + " cannot be created: " + e.what());
  }
  table.SetStructuralIndexFlag();
}

}  // namespace vorel::dbf
