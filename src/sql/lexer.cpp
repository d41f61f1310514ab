#include "sql/lexer.h"

#include <charconv>
#include <cstring>

#include "platform/calendar.h"
#include "sql/sql_errors.h"
#include "sql/value.h"

namespace vorel::sql {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || IsDigit(c);
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Reads an unsigned decimal number of 1..maxDigits digits at text[i]; -1 when there is none.
int ReadPart(std::string_view text, size_t& i, size_t maxDigits) {
  size_t start = i;
  int value = 0;
  while (i < text.size() && IsDigit(text[i]) && i - start < maxDigits) value = value * 10 + (text[i++] - '0');
  return i == start ? -1 : value;
}

void SkipBlanks(std::string_view text, size_t& i) {
  while (i < text.size() && text[i] == ' ') ++i;
}

// The content of {...}: "^yyyy-mm-dd[ hh:mm[:ss]]", empty forms "", "//", "/ /", ":", "^". A date in
// braces without the caret is read as yyyy-mm-dd as well (strict form only: the session date order is not
// known here).
Token ReadDateLiteral(std::string_view body, size_t position) {
  Token t;
  t.position = position;
  t.kind = TokenKind::kDate;
  size_t i = 0;
  SkipBlanks(body, i);
  std::string_view rest = body.substr(i);
  bool onlySeparators = true;
  for (char c : rest) {
    if (c != ' ' && c != '/' && c != '.' && c != '-' && c != ':' && c != '^') onlySeparators = false;
  }
  if (onlySeparators) {
    if (rest.find(':') != std::string_view::npos) t.kind = TokenKind::kDateTime;
    t.moment = 0;
    return t;
  }
  if (i < body.size() && body[i] == '^') ++i;
  SkipBlanks(body, i);
  int year = ReadPart(body, i, 4);
  if (year < 0 || i >= body.size() || (body[i] != '-' && body[i] != '/' && body[i] != '.'))
    throw SyntaxError(position, "invalid date literal");
  ++i;
  int month = ReadPart(body, i, 2);
  if (month < 0 || i >= body.size() || (body[i] != '-' && body[i] != '/' && body[i] != '.'))
    throw SyntaxError(position, "invalid date literal");
  ++i;
  int day = ReadPart(body, i, 2);
  if (day < 0 || !IsValidDate(year, month, day)) throw SyntaxError(position, "invalid date literal");
  int64_t jd = JulianDayFromCivil(year, month, day);
  SkipBlanks(body, i);
  if (i < body.size() && body[i] == ',') {
    ++i;
    SkipBlanks(body, i);
  }
  if (i == body.size()) {
    t.moment = jd;
    return t;
  }
  int hour = ReadPart(body, i, 2), minute = 0, second = 0;
  if (hour < 0) throw SyntaxError(position, "invalid date-time literal");
  if (i < body.size() && body[i] == ':') {
    ++i;
    minute = ReadPart(body, i, 2);
    if (minute < 0) throw SyntaxError(position, "invalid date-time literal");
    if (i < body.size() && body[i] == ':') {
      ++i;
      second = ReadPart(body, i, 2);
      if (second < 0) throw SyntaxError(position, "invalid date-time literal");
    }
  }
  SkipBlanks(body, i);
  if (i + 2 <= body.size() &&
      (EqualsNoCase(body.substr(i, 2), "AM") || EqualsNoCase(body.substr(i, 2), "PM"))) {
    bool pm = body[i] == 'p' || body[i] == 'P';
    if (hour < 1 || hour > 12) throw SyntaxError(position, "invalid date-time literal");
    hour = hour % 12 + (pm ? 12 : 0);
    i += 2;
    SkipBlanks(body, i);
  }
  if (i != body.size() || hour > 23 || minute > 59 || second > 59)
    throw SyntaxError(position, "invalid date-time literal");
  t.kind = TokenKind::kDateTime;
  t.moment = jd * kMillisecondsPerDay + (hour * 3600 + minute * 60 + second) * 1000LL;
  return t;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && IsBlank(text[i])) ++i;
    Token t;
    t.position = i + 1;
    if (i >= n) {
      t.kind = TokenKind::kEnd;
      tokens.push_back(t);
      return tokens;
    }
    const char c = text[i];
    if (IsIdentStart(c)) {
      size_t start = i;
      while (i < n && IsIdentChar(text[i])) ++i;
      t.kind = TokenKind::kIdentifier;
      t.text = text.substr(start, i - start);
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(text[i + 1]))) {
      size_t start = i;
      while (i < n && IsDigit(text[i])) ++i;
      if (i < n && text[i] == '.' && !(i + 2 < n && IsIdentStart(text[i + 1]) && text[i + 2] == '.')) {
        ++i;
        size_t fracStart = i;
        while (i < n && IsDigit(text[i])) ++i;
        t.decimals = static_cast<int>(i - fracStart);
      }
      if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < n && IsDigit(text[j])) {
          i = j;
          while (i < n && IsDigit(text[i])) ++i;
        }
      }
      if (i < n && IsIdentStart(text[i])) throw SyntaxError(t.position, "invalid number");
      t.kind = TokenKind::kNumber;
      t.text = text.substr(start, i - start);
      auto [ptr, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), t.number);
      if (ec != std::errc() || ptr != t.text.data() + t.text.size())
        throw SyntaxError(t.position, "invalid number");
    } else if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      size_t end = text.find(close, i + 1);
      if (end == std::string_view::npos) throw SyntaxError(t.position, "unterminated text literal");
      t.kind = TokenKind::kString;
      t.text = text.substr(i + 1, end - i - 1);
      i = end + 1;
    } else if (c == '{') {
      size_t end = text.find('}', i + 1);
      if (end == std::string_view::npos) throw SyntaxError(t.position, "unterminated date literal");
      t = ReadDateLiteral(text.substr(i + 1, end - i - 1), t.position);
      t.text = text.substr(i, end - i + 1);
      i = end + 1;
    } else if (c == '.') {
      // .T. .F. .Y. .N. .NULL. .AND. .OR. .NOT.
      size_t end = text.find('.', i + 1);
      std::string_view word =
          end == std::string_view::npos ? std::string_view() : text.substr(i + 1, end - i - 1);
      if (EqualsNoCase(word, "T") || EqualsNoCase(word, "Y")) {
        t.kind = TokenKind::kTrue;
      } else if (EqualsNoCase(word, "F") || EqualsNoCase(word, "N")) {
        t.kind = TokenKind::kFalse;
      } else if (EqualsNoCase(word, "NULL")) {
        t.kind = TokenKind::kNull;
      } else if (EqualsNoCase(word, "AND") || EqualsNoCase(word, "OR") || EqualsNoCase(word, "NOT")) {
        t.kind = TokenKind::kOperator;
      } else {
        throw SyntaxError(t.position, "unexpected '.'");
      }
      t.text = text.substr(i, end - i + 1);
      i = end + 1;
    } else {
      static constexpr std::string_view kTwo[] = {"==", "<>", "!=", "<=", ">=", "**"};
      t.kind = TokenKind::kOperator;
      size_t len = 0;
      for (std::string_view op : kTwo) {
        if (text.substr(i, 2) == op) len = 2;
      }
      if (len == 0) {
        if (std::strchr("=#<>+-*/%^$!(),;", c) == nullptr || c == '\0') {
          throw SyntaxError(t.position, std::string("unexpected character '") +
                                            (static_cast<unsigned char>(c) >= 32 ? std::string(1, c) : "?") +
                                            "'");
        }
        len = 1;
      }
      t.text = text.substr(i, len);
      i += len;
    }
    tokens.push_back(t);
  }
}

}  // namespace vorel::sql
