#include "platform/code_page.h"

#include <array>

namespace vorel {
namespace {

// Unicode code points of bytes 0x80..0xFF; 0xFFFD marks an unassigned byte.
constexpr std::array<char16_t, 128> kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr std::array<char16_t, 128> kCp866 = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407,
    0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

// Pairs (upper, lower) of 1251 bytes outside ASCII and outside the contiguous А..я block.
constexpr std::array<std::array<unsigned char, 2>, 15> kCasePairs = {{
    {0x80, 0x90},
    {0x81, 0x83},
    {0x8A, 0x9A},
    {0x8C, 0x9C},
    {0x8D, 0x9D},
    {0x8E, 0x9E},
    {0x8F, 0x9F},
    {0xA1, 0xA2},
    {0xA3, 0xBC},
    {0xA5, 0xB4},
    {0xA8, 0xB8},
    {0xAA, 0xBA},
    {0xAF, 0xBF},
    {0xB2, 0xB3},
    {0xBD, 0xBE},
}};

struct CaseTables {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
  constexpr CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    for (int c = 'a'; c <= 'z'; ++c) {
      upper[c] = static_cast<unsigned char>(c - 32);
      lower[c - 32] = static_cast<unsigned char>(c);
    }
    for (int c = 0xE0; c <= 0xFF; ++c) {
      upper[c] = static_cast<unsigned char>(c - 32);
      lower[c - 32] = static_cast<unsigned char>(c);
    }
    for (auto [up, low] : kCasePairs) {
      upper[low] = up;
      lower[up] = low;
    }
  }
};
constexpr CaseTables kCase;

char32_t UnicodeOf(const std::array<char16_t, 128>& table, unsigned char b) {
  return b < 0x80 ? b : table[b - 0x80];
}

// Byte of `cp` in the code page given by its upper-half table, or '?'.
char ByteOf(const std::array<char16_t, 128>& table, char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

struct Translation {
  std::array<char, 256> map{};
  Translation(const std::array<char16_t, 128>& from, const std::array<char16_t, 128>& to) {
    for (int b = 0; b < 256; ++b) {
      char32_t cp = UnicodeOf(from, static_cast<unsigned char>(b));
      map[b] = cp == 0xFFFD ? '?' : ByteOf(to, cp);
    }
  }
  std::string apply(std::string_view text) const {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = map[static_cast<unsigned char>(text[i])];
    return out;
  }
};

const Translation& AnsiToOemTable() {
  static const Translation t(kCp1251, kCp866);
  return t;
}
const Translation& OemToAnsiTable() {
  static const Translation t(kCp866, kCp1251);
  return t;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

char ToUpperAnsi(char c) {
  return static_cast<char>(kCase.upper[static_cast<unsigned char>(c)]);
}
char ToLowerAnsi(char c) {
  return static_cast<char>(kCase.lower[static_cast<unsigned char>(c)]);
}

std::string ToUpperAnsi(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToUpperAnsi(c);
  return out;
}

std::string ToLowerAnsi(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToLowerAnsi(c);
  return out;
}

std::string AnsiToOem(std::string_view text) {
  return AnsiToOemTable().apply(text);
}
std::string OemToAnsi(std::string_view text) {
  return OemToAnsiTable().apply(text);
}

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    char32_t cp = UnicodeOf(kCp1251, static_cast<unsigned char>(c));
    AppendUtf8(out, cp == 0xFFFD ? U'?' : cp);
  }
  return out;
}

namespace {

// UTF-8 to Windows-1251; counts the characters that became '?' because they were no valid UTF-8 or 1251
// lacks them.
std::string Utf8ToAnsiCounting(std::string_view text, std::size_t& lost) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    std::size_t extra = b < 0x80             ? 0
                        : (b & 0xE0) == 0xC0 ? 1
                        : (b & 0xF0) == 0xE0 ? 2
                        : (b & 0xF8) == 0xF0 ? 3
                                             : 4;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool valid = extra < 4 && i + extra < text.size();
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      auto cont = static_cast<unsigned char>(text[i + k]);
      valid = (cont & 0xC0) == 0x80;
      cp = (cp << 6) | (cont & 0x3F);
    }
    if (!valid) {  // stray continuation byte or a sequence cut short
      out += '?';
      ++lost;
      ++i;
      continue;
    }
    const char byte = ByteOf(kCp1251, cp);
    if (byte == '?' && cp != '?') ++lost;
    out += byte;
    i += extra + 1;
  }
  return out;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view text) {
  std::size_t lost = 0;
  return Utf8ToAnsiCounting(text, lost);
}

std::optional<std::string> Utf8ToAnsiExact(std::string_view text) {
  std::size_t lost = 0;
  std::string out = Utf8ToAnsiCounting(text, lost);
  if (lost > 0) return std::nullopt;
  return out;
}

}  // namespace vorel
