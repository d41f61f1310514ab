#include "dbf/cdx_free_list.h"

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"

namespace vorel::dbf {

namespace {

constexpr int kMaxDepth = 32;

void AddTree(const CdxFile& cdx, uint32_t root, uint16_t keyLength, std::set<uint32_t>& pages) {
  std::vector<std::pair<uint32_t, int>> pending{{root, 0}};
  while (!pending.empty()) {
    const auto [offset, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxDepth || !pages.insert(offset).second)
      throw CorruptTableError("Index of table " + cdx.tableName() + " is damaged: node at " +
                              std::to_string(offset) + " is reached twice or lies too deep");
    const CdxNode node = cdx.ReadNode(offset, keyLength, ' ');
    for (uint32_t child : node.children) pending.emplace_back(child, depth + 1);
  }
}

uint32_t Le32At(const CdxFile& cdx, uint64_t offset) {
  char bytes[4];
  if (cdx.Read(offset, bytes) < 4)
    throw CorruptTableError("Index of table " + cdx.tableName() + " is truncated");
  return LoadLe32(bytes);
}

}  // namespace

std::set<uint32_t> PagesInUse(const CdxFile& cdx) {
  std::set<uint32_t> pages = {0, kCdxPageSize};
  char keyLength[2];
  if (cdx.Read(12, keyLength) < 2)
    throw CorruptTableError("Index of table " + cdx.tableName() + " is truncated");
  AddTree(cdx, Le32At(cdx, 0), LoadLe16(keyLength), pages);
  for (const CdxTag& tag : cdx.tags()) {
    pages.insert({tag.headerOffset, tag.headerOffset + kCdxPageSize});
    // The root as the header holds it now: a statement may have moved it.
    AddTree(cdx, Le32At(cdx, tag.headerOffset), tag.keyLength, pages);
  }
  return pages;
}

std::vector<std::string> FreeListProblems(const CdxFile& cdx, const std::set<uint32_t>& inUse) {
  std::vector<std::string> problems;
  char bytes[4];
  if (cdx.Read(4, bytes) < 4) return problems;
  std::set<uint32_t> seen;
  for (uint32_t page = LoadLe32(bytes); page != 0 && page != kCdxNoPage;) {
    if (page % kCdxPageSize != 0 || uint64_t{page} + kCdxPageSize > cdx.FileSize()) {
      problems.push_back("free page list points at " + std::to_string(page) + ", which is not a page");
      break;
    }
    if (!seen.insert(page).second) {
      problems.push_back("free page list runs in a loop at page " + std::to_string(page));
      break;
    }
    if (inUse.count(page))
      problems.push_back("page " + std::to_string(page) + " is in use and on the free list");
    if (cdx.Read(page, bytes) < 4) break;
    page = LoadLe32(bytes);
  }
  return problems;
}

}  // namespace vorel::dbf
