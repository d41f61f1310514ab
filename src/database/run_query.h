#pragma once

#include <cstdint>
#include <string_view>

#include "database/database_context.h"

namespace vorel {

// The query runner: sets the query time mark, closes `SQL`, makes the statement its only line and opens it.
// A failure is logged as "ERROR SQL: " + statement on channel "system" and goes no further (`SQL` stays
// closed); in every case " [" + milliseconds + "] " + statement is logged on channel "sql".
void RunQuery(DatabaseContext& ctx, std::string_view statement);

// The execute path: replaces the statement text of `SQL` by the statement and runs it without a result set.
// No time mark, no log line; a failure passes to the caller. Returns the number of rows affected.
int64_t ExecuteStatement(DatabaseContext& ctx, std::string_view statement);

}  // namespace vorel
