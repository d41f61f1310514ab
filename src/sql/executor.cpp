#include "sql/executor.h"

#include <type_traits>

#include "sql/parser.h"
#include "sql/statement_runners.h"

namespace vorel::sql {

StatementOutcome RunStatement(std::string_view text, const ExecutionOptions& options) {
  Statement statement = ParseStatement(text);
  EvalEnv env = MakeEvalEnv(options.collation, options.now, options.regional);
  env.ansi = options.ansi;
  env.storedTests = options.storedTests;
  StatementOutcome outcome;
  std::visit(
      [&](auto& s) {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, SelectStatement>) {
          outcome.hasRows = true;
          outcome.rows = RunSelect(s, options, env);
        } else if constexpr (std::is_same_v<T, UpdateStatement>) {
          outcome.rowsAffected = RunUpdate(s, options, env);
        } else if constexpr (std::is_same_v<T, DeleteStatement>) {
          outcome.rowsAffected = RunDelete(s, options, env);
        } else if constexpr (std::is_same_v<T, InsertStatement>) {
          outcome.rowsAffected = RunInsert(s, options, env);
        } else if constexpr (std::is_same_v<T, CreateTableStatement>) {
          RunCreateTable(s, options);
        } else {
          RunIndex(s, options);
        }
      },
      statement);
  return outcome;
}

}  // namespace vorel::sql
