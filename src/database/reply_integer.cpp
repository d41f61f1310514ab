#include "database/reply_integer.h"

namespace vorel {

std::optional<int32_t> ParseReplyInteger(std::string_view field) {
  const bool negative = !field.empty() && field.front() == '-';
  if (negative) field.remove_prefix(1);
  if (field.empty()) return std::nullopt;
  constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;  // the magnitude of INT32_MIN
  int64_t n = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
    if (n > kLimit) return std::nullopt;
  }
  if (!negative && n == kLimit) return std::nullopt;
  return static_cast<int32_t>(negative ? -n : n);
}

}  // namespace vorel
