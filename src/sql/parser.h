#pragma once

#include <string_view>

#include "sql/ast.h"

namespace vorel::sql {

// Parses one statement (an optional ";" may end it). Keywords and names in any letter case. Throws
// SyntaxError naming the position of the first token that does not fit.
Statement ParseStatement(std::string_view text);

}  // namespace vorel::sql
