#include "sql/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vorel::sql {

std::string FormatFixed(double value, int decimals) {
  if (!std::isfinite(value)) return "*";
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  // 16 significant digits: the decimal digits the double stands for, without its binary noise.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15e", std::fabs(value));
  std::string digits;
  digits.reserve(16);
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p != '.') digits.push_back(*p);
  }
  int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  if (digits.find_first_not_of('0') == std::string::npos) exponent = 0;
  // digits[0] is the 10^exponent place. Keep the places down to 10^-decimals.
  long keep = static_cast<long>(exponent) + 1 + decimals;
  std::string kept;  // digits from the 10^max(exponent,0) place down to 10^-decimals
  if (keep <= 0) {
    bool roundUp = keep == 0 && digits[0] >= '5';
    kept.assign(static_cast<size_t>(decimals) + 1, '0');
    if (roundUp) kept.back() = '1';
  } else {
    std::string all;
    if (exponent < 0) all.assign(static_cast<size_t>(-exponent), '0');  // leading zeros: 0.00ddd
    all += digits;
    size_t keepAll = static_cast<size_t>(keep) + (exponent < 0 ? static_cast<size_t>(-exponent) : 0);
    bool roundUp = keepAll < all.size() && all[keepAll] >= '5';
    if (keepAll < all.size()) {
      all.resize(keepAll);
    } else {
      all.append(keepAll - all.size(), '0');
    }
    if (roundUp) {
      size_t i = all.size();
      while (i > 0) {
        --i;
        if (all[i] == '9') {
          all[i] = '0';
        } else {
          ++all[i];
          break;
        }
        if (i == 0) all.insert(all.begin(), '1');
      }
    }
    kept = std::move(all);
  }
  // kept holds integer digits followed by `decimals` fraction digits.
  size_t intDigits = kept.size() - static_cast<size_t>(decimals);
  std::string intPart = intDigits == 0 ? "0" : kept.substr(0, intDigits);
  size_t firstNonZero = intPart.find_first_not_of('0');
  intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
  std::string fraction = kept.substr(intDigits);
  bool zero = intPart == "0" && fraction.find_first_not_of('0') == std::string::npos;
  std::string out;
  if (value < 0 && !zero) out.push_back('-');
  out += intPart;
  if (decimals > 0) {
    out.push_back('.');
    out += fraction;
  }
  return out;
}

double RoundHalfAway(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  if (decimals >= 0) {
    std::string text = FormatFixed(value, decimals);
    return std::strtod(text.c_str(), nullptr);
  }
  double scale = std::pow(10.0, -decimals);
  return std::round(value / scale) * scale;
}

std::string StrText(double value, int length, int decimals) {
  if (length <= 0) return {};
  if (decimals < 0) decimals = 0;
  for (int d = decimals;; --d) {
    std::string text = FormatFixed(value, d);
    if (text != "*" && text.size() <= static_cast<size_t>(length)) {
      return std::string(static_cast<size_t>(length) - text.size(), ' ') + text;
    }
    if (d <= 0) break;
  }
  return std::string(static_cast<size_t>(length), '*');
}

std::string ShortestText(double value) {
  if (!std::isfinite(value)) return "*";
  if (value == 0) return "0";
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (ec != std::errc()) return FormatFixed(value, 0);
  return std::string(buf, end);
}

}  // namespace vorel::sql
