#include "platform/url_text.h"

namespace vorel {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char b) {
  out += '%';
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

}  // namespace

void AppendUrlSafeBytes(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
        c == '{' || c == '|' || c == '}') {
      AppendEscaped(out, b);
    } else {
      out += c;
    }
  }
}

void AppendUrlQueryValue(std::string& out, std::string_view text) {
  for (const char c : text) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += c;
    } else {
      AppendEscaped(out, static_cast<unsigned char>(c));
    }
  }
}

}  // namespace vorel
