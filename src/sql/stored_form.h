#pragma once

#include "sql/ast.h"
#include "sql/expression.h"

// Predicates answered from the stored bytes of a record instead of decoded values: binding recognises them,
// evaluation tests them first and hands back to the general path for bytes whose stored form is unusual.
namespace vorel::sql {

// Marks a bound, non-constant predicate node with its stored-byte form where it has one.
void ChooseStoredForm(Expr& e, const EvalEnv& env);

// The predicate's value from the record bytes; `done` is false when the general evaluation must decide.
Value EvaluateStored(Expr& e, const RowContext& row, const EvalEnv& env, bool& done);

}  // namespace vorel::sql
