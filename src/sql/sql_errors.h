#pragma once

#include <cstddef>
#include <string>

#include "dbf/dbf_errors.h"
#include "platform/error.h"

// Failures of a statement. Table file failures (missing table, locked record, numeric overflow of a field,
// write refused on an indexed table) come from the dbf layer and pass through unchanged.
namespace vorel::sql {

VOREL_DEFINE_ERROR(SqlError, Error);

// The statement text cannot be read; the message names the position (1-based character offset).
class SyntaxError : public SqlError {
 public:
  SyntaxError(size_t position, const std::string& what)
      : SqlError("Syntax error at position " + std::to_string(position) + ": " + what), position_(position) {}
  const char* kind() const noexcept override { return "SyntaxError"; }
  size_t position() const { return position_; }

 private:
  size_t position_;
};

// A name that the table does not have ("Column 'xyz' is not found.").
VOREL_DEFINE_ERROR(UnknownColumnError, SqlError);
// A function name that matches no function (or more than one by its abbreviation).
VOREL_DEFINE_ERROR(UnknownFunctionError, SqlError);
// Operands of types that an operator or function does not combine ("Operator/operand type mismatch").
VOREL_DEFINE_ERROR(TypeMismatchError, SqlError);
// A function called with the wrong number of arguments or a value it cannot take.
VOREL_DEFINE_ERROR(FunctionArgumentError, SqlError);
// A statement that is well formed but not supported or not meaningful (GROUP BY rules, ORDER BY position).
VOREL_DEFINE_ERROR(InvalidStatementError, SqlError);
// The rows of a statement would take more memory than one statement may hold.
VOREL_DEFINE_ERROR(ResultTooLargeError, SqlError);

}  // namespace vorel::sql
