#pragma once

#include <string_view>
#include <vector>

#include "sql/token.h"

namespace vorel::sql {

// Splits a statement into tokens (the last one kEnd). Line breaks and tabs count as blanks. Throws
// SyntaxError with the position of an unterminated literal, a bad date literal or a character that belongs
// to no token.
std::vector<Token> Tokenize(std::string_view text);

}  // namespace vorel::sql
