#include "booking/field_checks.h"

#include "booking/sql_literal.h"

namespace vorel {

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return std::nullopt;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (negative) n = -n;
  if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(n);
}

bool IsEightDigits(std::string_view text) {
  if (text.size() != 8) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::optional<std::string> TextLiteral(std::string_view value) {
  if (HasControlCharacter(value)) return std::nullopt;
  const auto delimiter = ChooseStringDelimiter(value);
  if (!delimiter) return std::nullopt;
  return QuoteText(value, *delimiter);
}

}  // namespace vorel
