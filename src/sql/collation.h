#pragma once

#include <cstdint>
#include <string_view>

// String order of the connection's collating sequence. MACHINE compares bytes; RUSSIAN and GENERAL compare
// collation weights of Windows-1251 characters: letter case is ignored and Ё sorts after Е as its own letter.
namespace vorel::sql {

enum class Collation : uint8_t { kMachine, kRussian, kGeneral };

// "MACHINE", "RUSSIAN", "GENERAL" in any letter case; false for another name.
bool ParseCollation(std::string_view name, Collation& out);

// Weight of one byte under the collation (MACHINE: the byte itself). Equal weights compare equal.
uint16_t CollationWeight(Collation collation, unsigned char c);

// Three-way comparison with the shorter text padded with blanks (trailing blanks never matter).
int CompareText(Collation collation, std::string_view a, std::string_view b);

// Byte-exact comparison after padding the shorter text with blanks (the == operator).
bool ExactlyEqual(std::string_view a, std::string_view b);

}  // namespace vorel::sql
