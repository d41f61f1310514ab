#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dbf/key_expression.h"
#include "dbf/table.h"

// Integrity check of a table's structural index: node layout, sibling links, parent entries, key order,
// and (for tags whose expressions can be evaluated) exactly one correct entry per qualifying record.
namespace vorel::dbf {

struct IndexCheckReport {
  std::vector<std::string> problems;  // each names the tag it concerns
  std::vector<std::string> notes;     // what could not be checked, e.g. an expression this program lacks
  size_t tagsChecked = 0;
  bool ok() const { return problems.empty(); }
};

// Checks the .cdx beside `table` (any letter case). A table without the structural-index flag gives an empty
// report; a flagged table whose .cdx is missing gives a problem.
IndexCheckReport CheckTableIndex(Table& table, const KeyExpressionCompiler& compiler);

}  // namespace vorel::dbf
