#pragma once

#include <cstdint>
#include <string>

// The parts of a request address that the system's HTTP functions take one by one.
namespace vorel::windows {

struct HttpAddress {
  bool secure = false;  // https
  std::string host;     // without brackets for an IPv6 address
  uint16_t port = 80;
  std::string target;  // path and query, starting with "/"; bytes that cannot stand in a URL written as %XX
};

// Splits "scheme://host[:port][/path][?query][#fragment]"; an address without a scheme is taken as http, as
// libcurl does. Bytes that cannot stand in a URL (blanks, control bytes, bytes above 127 such as a Cyrillic
// password) are written as %XX; everything else, "&", "=" and "%" included, stays as given. Fails with
// HttpError for another scheme, an empty host or a bad port.
HttpAddress ParseHttpAddress(const std::string& url);

// "Basic " + base64 of user ":" password, the bytes as given.
std::string BasicAuthorization(const std::string& user, const std::string& password);

}  // namespace vorel::windows
