#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Windows-1251 is the text encoding of everything inside the service: the clinic tables, the state store and
// the portal all speak it. UTF-8 appears only at an operator's terminal and in source files.
namespace vorel {

namespace codepage_detail {
// Windows-1251 byte for a Unicode code point, or -1 when 1251 has no such character.
constexpr int AnsiByteOf(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(cp - 0x0410 + 0xC0);
  switch (cp) {
    case 0x0401:
      return 0xA8;  // Ё
    case 0x0451:
      return 0xB8;  // ё
    case 0x2116:
      return 0xB9;  // №
    case 0x00AB:
      return 0xAB;  // «
    case 0x00BB:
      return 0xBB;  // »
    case 0x2013:
      return 0x96;  // –
    case 0x2014:
      return 0x97;  // —
    case 0x00A0:
      return 0xA0;
    case 0x00B0:
      return 0xB0;  // °
    default:
      return -1;
  }
}
}  // namespace codepage_detail

// A text constant written in UTF-8 in the source and turned into Windows-1251 bytes at compile time:
//   constexpr AnsiText kNotFound("Не обнаружено");
// A character that 1251 cannot hold stops the build.
template <std::size_t N>
struct AnsiText {
  char bytes[N]{};
  std::size_t length = 0;

  consteval AnsiText(const char (&utf8)[N]) {
    std::size_t i = 0;
    while (i + 1 < N && utf8[i] != '\0') {
      auto b = static_cast<unsigned char>(utf8[i]);
      char32_t cp;
      std::size_t extra;
      if (b < 0x80) {
        cp = b;
        extra = 0;
      } else if ((b & 0xE0) == 0xC0) {
        cp = b & 0x1F;
        extra = 1;
      } else if ((b & 0xF0) == 0xE0) {
        cp = b & 0x0F;
        extra = 2;
      } else {
        throw "AnsiText: unsupported UTF-8 sequence";
      }
      for (std::size_t k = 1; k <= extra; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      i += extra + 1;
      int ansi = codepage_detail::AnsiByteOf(cp);
      if (ansi < 0) throw "AnsiText: character not in Windows-1251";
      bytes[length++] = static_cast<char>(ansi);
    }
  }
  constexpr std::string_view view() const { return {bytes, length}; }
  std::string str() const { return std::string(bytes, length); }
  constexpr operator std::string_view() const { return view(); }
};

// Table-driven Windows-1251 case mapping (Latin and Cyrillic, Ё/ё included), like the system's ANSI rules.
char ToUpperAnsi(char c);
char ToLowerAnsi(char c);
std::string ToUpperAnsi(std::string_view text);
std::string ToLowerAnsi(std::string_view text);

// Windows-1251 to code page 866 (the OEM code page of a Russian system), byte for byte; a character that 866
// lacks becomes '?'. The result has the length of the input.
std::string AnsiToOem(std::string_view text);
// Code page 866 to Windows-1251, byte for byte; '?' for characters 1251 lacks.
std::string OemToAnsi(std::string_view text);

// Conversions for the operator's terminal. Bytes or sequences without a counterpart become '?'.
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);
// The same, but nothing when the text is no valid UTF-8 or holds a character that 1251 lacks.
std::optional<std::string> Utf8ToAnsiExact(std::string_view text);

}  // namespace vorel
