#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Shape checks of the reply fields that go into statements, so that no field can change what a statement
// means: numbers must be whole numbers, dates eight digits, texts fit a literal.
namespace vorel {

// Optional '-', then 1 to 10 digits, within the 32-bit range ("012" -> 12); nothing otherwise.
std::optional<int32_t> ParseWholeNumber(std::string_view text);
// Exactly eight digits (yyyymmdd).
bool IsEightDigits(std::string_view text);
// The value as a text literal: no control characters, and a delimiter it does not contain; nothing when
// there is no such literal.
std::optional<std::string> TextLiteral(std::string_view value);

}  // namespace vorel
