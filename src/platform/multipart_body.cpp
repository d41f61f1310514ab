#include "platform/multipart_body.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace vorel {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string ChooseBoundary(const MultipartForm& form) {
  // The candidates are the default boundary, then the default followed by "x0", "x1", ...; the first that no
  // value contains is taken. One pass over the values finds every place holding the default: each rules the
  // default out and, when "x" and digits follow, the numbered candidates those digits begin with. (Testing
  // candidate after candidate against every value would take time quadratic in a value made of candidates.)
  const std::string_view base = kDefaultMultipartBoundary;
  bool baseTaken = false;
  std::unordered_set<uint64_t> taken;
  for (const auto& [name, value] : form.fields()) {
    for (size_t at = value.find(base); at != std::string::npos; at = value.find(base, at + 1)) {
      baseTaken = true;
      size_t pos = at + base.size();
      if (pos >= value.size() || value[pos] != 'x') continue;
      uint64_t number = 0;
      // Eighteen digits are far beyond any candidate a form of this size can rule out.
      for (size_t end = std::min(value.size(), pos + 19); ++pos < end && IsDigit(value[pos]);) {
        number = number * 10 + static_cast<uint64_t>(value[pos] - '0');
        taken.insert(number);
        if (number == 0) break;  // "0" is the only candidate number written with a leading zero
      }
    }
  }
  if (!baseTaken) return std::string(base);
  uint64_t candidate = 0;
  while (taken.contains(candidate)) ++candidate;
  return std::string(base) + "x" + std::to_string(candidate);
}

std::string EncodeMultipartBody(const MultipartForm& form, const std::string& boundary) {
  std::size_t size = boundary.size() + 8;
  for (const auto& [name, value] : form.fields()) size += boundary.size() + name.size() + value.size() + 52;
  std::string body;
  body.reserve(size);
  for (const auto& [name, value] : form.fields()) {
    body += "--";
    body += boundary;
    body += "\r\nContent-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += "\r\n";
  }
  body += "--";
  body += boundary;
  body += "--\r\n";
  return body;
}

std::string MultipartContentType(const std::string& boundary) {
  return "multipart/form-data; boundary=" + boundary;
}

}  // namespace vorel
