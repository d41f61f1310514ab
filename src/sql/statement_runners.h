#pragma once

#include "sql/ast.h"
#include "sql/executor.h"
#include "sql/expression.h"

// One runner per statement kind (used by RunStatement).
namespace vorel::sql {

ResultSet RunSelect(SelectStatement& statement, const ExecutionOptions& options, const EvalEnv& env);
// The rows of the SELECT to the sink one at a time (see StreamStatement).
void StreamSelect(SelectStatement& statement, const ExecutionOptions& options, const EvalEnv& env,
                  ResultSet& row, RowSink& sink);
int64_t RunUpdate(UpdateStatement& statement, const ExecutionOptions& options, const EvalEnv& env);
int64_t RunDelete(DeleteStatement& statement, const ExecutionOptions& options, const EvalEnv& env);
int64_t RunInsert(InsertStatement& statement, const ExecutionOptions& options, const EvalEnv& env);
void RunCreateTable(CreateTableStatement& statement, const ExecutionOptions& options);
void RunIndex(IndexStatement& statement, const ExecutionOptions& options);

// Stores a value in a field of a record being written (memo values through the table's memo file).
void StoreValue(dbf::Table& table, const dbf::Field& field, const Value& value, std::span<char> record);

}  // namespace vorel::sql
