#include "booking/field_checks.h"

#include "booking/slot_key.h"
#include "booking/sql_literal.h"
#include "database/reply_integer.h"

namespace vorel {

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

SlotFields ReadSlotFields(const ReplyFields& fields) {
  const auto kw = ParseReplyInteger(fields[4]);
  if (!kw) throw ReplyFieldError("Invalid field 4 (slot number)");
  if (!IsEightDigits(fields[5])) throw ReplyFieldError("Invalid field 5 (date)");
  auto timeLiteral = TextLiteral(fields[6]);
  // The key adds only digits and blanks to the time: it has a literal exactly when the time has one.
  auto keyLiteral = TextLiteral(BuildSlotKey(std::to_string(*kw), fields[5], fields[6]));
  if (!timeLiteral || !keyLiteral) throw ReplyFieldError("Invalid field 6 (time)");
  return {*kw, std::to_string(*kw), fields[5], std::move(*timeLiteral), std::move(*keyLiteral)};
}

}  // namespace vorel
