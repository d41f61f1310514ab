#include "platform/regional.h"

#include <cstdio>

namespace vorel {
namespace {

// Length of the run of `c` starting at position i of `pattern`.
std::size_t RunLength(const std::string& pattern, std::size_t i) {
  std::size_t n = 1;
  while (i + n < pattern.size() && pattern[i + n] == pattern[i]) ++n;
  return n;
}

// The decimal digits of `value`, zero-filled to `minDigits` (as printf's %0*d). Written by hand: result sets
// format a date of every row, and printf dominated that.
void AppendNumber(std::string& out, int value, std::size_t minDigits) {
  if (value < 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", static_cast<int>(minDigits), value);
    out += buf;
    return;
  }
  char buf[16];
  char* end = buf + sizeof buf;
  char* p = end;
  auto v = static_cast<unsigned>(value);
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (static_cast<std::size_t>(end - p) < minDigits && p > buf) *--p = '0';
  out.append(p, end);
}

}  // namespace

std::string RegionalSettings::FormatDate(int year, int month, int day) const {
  std::string out;
  for (std::size_t i = 0; i < shortDate.size();) {
    const char c = shortDate[i];
    const std::size_t n = RunLength(shortDate, i);
    if (c == 'd') {
      AppendNumber(out, day, n >= 2 ? 2 : 1);
    } else if (c == 'M') {
      AppendNumber(out, month, n >= 2 ? 2 : 1);
    } else if (c == 'y') {
      if (n <= 2) {
        AppendNumber(out, year % 100, 2);
      } else {
        AppendNumber(out, year, 4);
      }
    } else {
      out.append(n, c);
    }
    i += n;
  }
  return out;
}

std::string RegionalSettings::FormatTime(int hour, int minute, int second) const {
  std::string out;
  for (std::size_t i = 0; i < longTime.size();) {
    const char c = longTime[i];
    const std::size_t n = RunLength(longTime, i);
    if (c == 'H') {
      AppendNumber(out, hour, n >= 2 ? 2 : 1);
    } else if (c == 'h') {
      int h12 = hour % 12 == 0 ? 12 : hour % 12;
      AppendNumber(out, h12, n >= 2 ? 2 : 1);
    } else if (c == 'm') {
      AppendNumber(out, minute, n >= 2 ? 2 : 1);
    } else if (c == 's') {
      AppendNumber(out, second, n >= 2 ? 2 : 1);
    } else {
      out.append(n, c);
    }
    i += n;
  }
  return out;
}

std::string DateTimeText(const Clock& clock, const RegionalSettings& regional) {
  // One reading: a text made at midnight never pairs one day's date with the next day's time.
  const LocalDateTime now = clock.LocalNow();
  std::string text = regional.FormatDate(now.year, now.month, now.day);
  text += ' ';
  text += regional.FormatTime(now.hour, now.minute, now.second);
  return text;
}

std::string TimeText(const Clock& clock, const RegionalSettings& regional) {
  const LocalDateTime now = clock.LocalNow();
  return regional.FormatTime(now.hour, now.minute, now.second);
}

}  // namespace vorel
