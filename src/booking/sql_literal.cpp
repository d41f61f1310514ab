#include "booking/sql_literal.h"

namespace vorel {

std::optional<StringDelimiter> ChooseStringDelimiter(std::string_view value) {
  for (StringDelimiter d :
       {StringDelimiter{'\'', '\''}, StringDelimiter{'"', '"'}, StringDelimiter{'[', ']'}}) {
    if (value.find(d.close) == std::string_view::npos) return d;
  }
  return std::nullopt;
}

std::string QuoteText(std::string_view value, StringDelimiter delimiter) {
  std::string out;
  out.reserve(value.size() + 2);
  out += delimiter.open;
  out += value;
  out += delimiter.close;
  return out;
}

bool HasControlCharacter(std::string_view value) {
  for (char c : value) {
    if (static_cast<unsigned char>(c) < 32) return true;
  }
  return false;
}

}  // namespace vorel
