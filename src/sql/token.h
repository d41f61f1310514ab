#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The tokens of a statement. Texts are views into the statement text.
namespace vorel::sql {

enum class TokenKind : uint8_t {
  kEnd,
  kIdentifier,  // names and keywords (SELECT, AND, NULL ...), letter case as written
  kNumber,      // 12, 12.5, .5, 1e3
  kString,      // '...', "...", [...]; text is the content without the quotes
  kDate,        // {^2026-12-15}, {} ; value in `moment` (Julian day, 0 = empty)
  kDateTime,    // {^2026-12-15 10:30:00}; value in `moment` (milliseconds)
  kTrue,        // .T.
  kFalse,       // .F.
  kNull,        // .NULL.
  kOperator,    // = == <> != # < <= > >= + - * / % ^ ** $ ! ( ) , ; .AND. .OR. .NOT. (text as written)
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;
  size_t position = 0;  // 1-based character offset in the statement
  double number = 0;
  int decimals = 0;  // digits after the point of a number as written
  int64_t moment = 0;
};

}  // namespace vorel::sql
