#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How each column of m1005 is held in the Patient cache.
namespace vorel {

// uch, npol: trimmed at both ends.
std::string_view NormalisePlainText(std::string_view column);
// fiol: trimmed at both ends, then lower-cased (Windows-1251 rules, Cyrillic included).
std::string NormaliseSurname(std::string_view column);
// im, ot: the first character of the column's text without its trailing blanks, upper-cased; nothing for
// a blank value. A value that starts with a blank gives that blank.
std::optional<char> NormaliseInitial(std::string_view column);
// lpu1 and probc keep the low 16 and 8 bits of the column's integer value (70000 -> 4464, 300 -> 44).
uint16_t LowBits16(int64_t value);
uint8_t LowBits8(int64_t value);

}  // namespace vorel
