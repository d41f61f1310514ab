#pragma once

#include <string>
#include <string_view>

#include "database/database_context.h"

namespace vorel {

// Runs the statement with RunQuery and renders its result as Table XML under the table name: connects `ADO`
// first (a failure there passes to the caller), closes `SQL` and disconnects `ADO` at the end. A failed
// statement or row move gives the error element in place of the remaining rows; an unreadable value "+++".
// Logs "SQLtextSize: " + the length of the text on channel "global".
std::string RenderTableXml(DatabaseContext& ctx, std::string_view tableName, std::string_view statement);

// Table XML of the result `query` is open on, under the table name; no log line, a failure passes on.
std::string RenderResultXml(Query& query, std::string_view tableName, const RegionalSettings& regional);

}  // namespace vorel
