#include "sql/executor.h"

#include <type_traits>

#include "sql/parser.h"
#include "sql/statement_runners.h"

namespace vorel::sql {

namespace {

EvalEnv EnvFor(const ExecutionOptions& options) {
  EvalEnv env = MakeEvalEnv(options.collation, options.now, options.regional);
  env.ansi = options.ansi;
  env.storedTests = options.storedTests;
  return env;
}

StatementOutcome RunParsed(Statement& statement, const ExecutionOptions& options, const EvalEnv& env) {
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

}  // namespace

StatementOutcome RunStatement(std::string_view text, const ExecutionOptions& options) {
  Statement statement = ParseStatement(text);
  return RunParsed(statement, options, EnvFor(options));
}

std::optional<int64_t> StreamStatement(std::string_view text, const ExecutionOptions& options, ResultSet& row,
                                       RowSink& sink) {
  Statement statement = ParseStatement(text);
  auto* select = std::get_if<SelectStatement>(&statement);
  const EvalEnv env = EnvFor(options);
  if (!select) return RunParsed(statement, options, env).rowsAffected;
  StreamSelect(*select, options, env, row, sink);
  return std::nullopt;
}

}  // namespace vorel::sql
