#pragma once

#include <span>
#include <string>
#include <vector>

#include "dbf/cdx_file.h"
#include "dbf/key_expression.h"
#include "dbf/table.h"

// Building a structural CDX for a table, laid out as VFP lays out a freshly built index: file header, tag
// directory leaf, then per tag its header, its leaves and its interior levels.
namespace vorel::dbf {

struct TagSpec {
  std::string name;  // 1..10 letters, digits, _
  std::string keyExpression{};
  std::string forExpression{};  // empty: every record
  bool candidate = false;
  std::string collation{};  // "" (MACHINE) or "RUSSIAN"
  bool descending = false;
};

// INDEX ON for every tag: writes <table>.cdx and sets the table's structural-index flag. The table must not
// have an index yet. FieldValueError naming the tag for an expression that cannot be evaluated or a candidate
// key that appears twice; nothing is written then.
void CreateStructuralIndex(Table& table, std::span<const TagSpec> tags,
                           const KeyExpressionCompiler& compiler);

// The pages of one tag's tree holding `entries` (sorted), laid out from byte offset `firstPage` on, and the
// offset of its root.
struct CdxTree {
  std::string pages;
  uint32_t root = 0;
};
CdxTree BuildTagTree(const std::vector<CdxEntry>& entries, uint16_t keyLength, char pad, uint32_t firstPage);

// One compact leaf page holding `entries` (sorted), or an empty string when they do not fit in 512 bytes.
std::string EncodeLeafPage(std::span<const CdxEntry> entries, uint16_t keyLength, char pad, uint32_t maxRecno,
                           uint16_t attributes, uint32_t left, uint32_t right);

}  // namespace vorel::dbf
