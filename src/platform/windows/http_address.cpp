#include "platform/windows/http_address.h"

#include "platform/code_page.h"
#include "platform/http_client.h"
#include "platform/url_text.h"

namespace vorel::windows {

HttpAddress ParseHttpAddress(const std::string& url) {
  HttpAddress address;
  std::string_view rest(url);
  if (const size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    const std::string name = ToLowerAnsi(rest.substr(0, scheme));
    if (name == "https") {
      address.secure = true;
      address.port = 443;
    } else if (name != "http") {
      throw HttpError("Unsupported protocol \"" + name + "\" in " + url);
    }
    rest.remove_prefix(scheme + 3);
  }
  const size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);

  std::string_view port;
  if (authority.starts_with('[')) {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) throw HttpError("Bad IPv6 address in " + url);
    address.host.assign(authority.substr(1, close - 1));
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') throw HttpError("Bad port in " + url);
      port = authority.substr(close + 2);
    }
  } else if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    address.host.assign(authority.substr(0, colon));
    port = authority.substr(colon + 1);
    if (port.empty()) port = address.secure ? "443" : "80";
  } else {
    address.host.assign(authority);
  }
  if (address.host.empty()) throw HttpError("No host in " + url);
  if (!port.empty()) {
    unsigned value = 0;
    for (const char c : port) {
      if (c < '0' || c > '9' || value > 65535) throw HttpError("Bad port in " + url);
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) throw HttpError("Bad port in " + url);
    address.port = static_cast<uint16_t>(value);
  }

  if (const size_t fragment = rest.find('#'); fragment != std::string_view::npos)
    rest = rest.substr(0, fragment);
  if (!rest.starts_with('/')) address.target.push_back('/');
  AppendUrlSafeBytes(address.target, rest);
  return address;
}

std::string BasicAuthorization(const std::string& user, const std::string& password) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string plain = user + ":" + password;
  std::string out = "Basic ";
  size_t i = 0;
  for (; i + 2 < plain.size(); i += 3) {
    const uint32_t n = (static_cast<uint8_t>(plain[i]) << 16) | (static_cast<uint8_t>(plain[i + 1]) << 8) |
                       static_cast<uint8_t>(plain[i + 2]);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i < plain.size()) {
    const bool two = i + 1 < plain.size();
    const uint32_t n =
        (static_cast<uint8_t>(plain[i]) << 16) | (two ? static_cast<uint8_t>(plain[i + 1]) << 8 : 0);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += two ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace vorel::windows
