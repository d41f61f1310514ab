#include "booking/patient_normalise.h"

#include "booking/text_trim.h"
#include "platform/code_page.h"

namespace vorel {

std::string_view NormalisePlainText(std::string_view column) {
  return TrimText(column);
}

std::string NormaliseSurname(std::string_view column) {
  return ToLowerAnsi(TrimText(column));
}

std::optional<char> NormaliseInitial(std::string_view column) {
  // The database pads the column with blanks to its width, so only the trailing blanks are dropped: a
  // leading blank is part of what the clinic typed.
  const std::string_view value = TrimRightText(column);
  if (value.empty()) return std::nullopt;
  return ToUpperAnsi(value.front());
}

uint16_t LowBits16(int64_t value) {
  return static_cast<uint16_t>(static_cast<uint64_t>(value) & 0xFFFFu);
}
uint8_t LowBits8(int64_t value) {
  return static_cast<uint8_t>(static_cast<uint64_t>(value) & 0xFFu);
}

}  // namespace vorel
