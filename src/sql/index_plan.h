#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "dbf/held_locks.h"
#include "dbf/table.h"
#include "sql/ast.h"
#include "sql/expression.h"

// Finding the records a WHERE condition may select through the table's structural index instead of reading
// every record.
//
// A top-level AND term compares a tag's exact key expression with a constant (=, ==, <, <=, >, >=, BETWEEN).
// Each such term gives a range of key bytes that holds the key of every record the term can select, under the
// statement's comparison rules (collation, SET ANSI, blank padding, NULLs, VFP's datetime keys). Where that
// cannot be shown for a tag and a value (a FOR or UNIQUE tag, a collation whose order differs from the
// statement's, a text compared with a different length rule), the term gives no range. The records found are
// candidates only: the caller tests the whole condition on each one, so the rows are exactly those of a scan.
namespace vorel::sql {

enum class IndexUse : uint8_t {
  kAuto,    // seek when a tag fits and the range is small against the table
  kNever,   // always scan
  kAlways,  // seek whenever a tag fits, however many records the range holds
};

struct IndexSeekOptions {
  IndexUse use = IndexUse::kAuto;
  dbf::LockTiming timing;  // wait for the index lock held by a writer; then the statement scans
};

// Candidate record numbers, ascending, none beyond `recordCount`; nullopt when the statement must scan (no
// usable tag, no index file, a damaged index, the index lock not had, or a range too large to pay off).
std::optional<std::vector<uint32_t>> FindIndexCandidates(dbf::Table& table, Expr* where, const EvalEnv& env,
                                                         uint32_t recordCount,
                                                         const IndexSeekOptions& options);

}  // namespace vorel::sql
