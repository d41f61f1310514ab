#include "database/run_query.h"

#include <chrono>
#include <string>

namespace vorel {

void RunQuery(DatabaseContext& ctx, std::string_view statement) {
  ctx.queryTimeMark = ctx.clock.Now();
  try {
    ctx.SQL.Close();
    ctx.SQL.Lines().clear();
    ctx.SQL.Lines().emplace_back(statement);
    ctx.SQL.Open();
  } catch (const std::exception&) {
    // The failure's own message is not logged; the caller finds SQL closed.
    ctx.log.Log("system", "ERROR SQL: " + std::string(statement));
  }
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(ctx.clock.Now() - ctx.queryTimeMark);
  ctx.log.Log("sql", " [" + std::to_string(elapsed.count()) + "] " + std::string(statement));
}

int64_t ExecuteStatement(DatabaseContext& ctx, std::string_view statement) {
  ctx.SQL.Close();
  ctx.SQL.Lines().clear();
  ctx.SQL.Lines().emplace_back(statement);
  return ctx.SQL.ExecSQL();
}

}  // namespace vorel
