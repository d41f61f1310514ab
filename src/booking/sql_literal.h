#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text literals for the statements the service builds from portal fields. The database accepts '...',
// "..." and [...]; the apostrophe is used whenever the value allows it, so ordinary values give the usual
// statement text, and a value holding an apostrophe gets a delimiter it does not contain instead of ending
// its literal early.
namespace vorel {

struct StringDelimiter {
  char open;
  char close;
};

// The first of ', " and [...] that the value does not contain (its closing character), or nothing.
std::optional<StringDelimiter> ChooseStringDelimiter(std::string_view value);

// open + value + close.
std::string QuoteText(std::string_view value, StringDelimiter delimiter);

// True when the value holds a character of code below 32 (line breaks, tabs and the like).
bool HasControlCharacter(std::string_view value);

}  // namespace vorel
