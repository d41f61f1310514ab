#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "dbf/cdx_file.h"

// The free-page list of a CDX file (header offset 4; each free page holds the next one's offset in its first
// four bytes) and the pages it must never name.
namespace vorel::dbf {

// Every page the index uses now: the file header, the tag directory and each tag's header and tree.
// CorruptTableError when a tree cannot be read.
std::set<uint32_t> PagesInUse(const CdxFile& cdx);

// What is wrong with the free list: a link that is not a whole page of the file, a loop, a page in `inUse`.
// Empty for a sound (or empty) list.
std::vector<std::string> FreeListProblems(const CdxFile& cdx, const std::set<uint32_t>& inUse);

}  // namespace vorel::dbf
