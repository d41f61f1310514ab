#include "sql/date_text.h"

#include <charconv>
#include <cstdio>

#include "platform/calendar.h"
#include "sql/value.h"

namespace vorel::sql {
namespace {

std::string Blanked(std::string text) {
  for (char& c : text) {
    if (c >= '0' && c <= '9') c = ' ';
  }
  return text;
}

}  // namespace

std::string CompactDateText(int64_t julianDay) {
  if (julianDay == 0) return std::string(8, ' ');
  CivilDate c = CivilFromJulianDay(julianDay);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
  return buf;
}

std::string CompactDateTimeText(int64_t milliseconds) {
  if (milliseconds == 0) return std::string(14, ' ');
  int64_t day = milliseconds / kMillisecondsPerDay;
  int64_t s = milliseconds % kMillisecondsPerDay / 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60));
  return CompactDateText(day) + buf;
}

std::string ShortDateText(int64_t julianDay, const RegionalSettings& regional) {
  if (julianDay == 0) return Blanked(regional.FormatDate(2000, 1, 1));
  CivilDate c = CivilFromJulianDay(julianDay);
  return regional.FormatDate(c.year, c.month, c.day);
}

std::string MomentText(int64_t milliseconds, const RegionalSettings& regional) {
  if (milliseconds == 0) return Blanked(regional.FormatDate(2000, 1, 1) + " " + regional.FormatTime(0, 0, 0));
  int64_t day = milliseconds / kMillisecondsPerDay;
  int64_t s = milliseconds % kMillisecondsPerDay / 1000;
  return ShortDateText(day, regional) + " " +
         regional.FormatTime(static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                             static_cast<int>(s % 60));
}

int64_t ParseShortDate(std::string_view text, const RegionalSettings& regional) {
  // Order of the parts in the pattern.
  char order[3] = {0, 0, 0};
  int count = 0;
  char last = 0;
  for (char c : regional.shortDate) {
    if ((c == 'd' || c == 'M' || c == 'y') && c != last && count < 3) order[count++] = c;
    last = c;
  }
  if (count != 3) return 0;
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int found = 0;
  size_t i = 0;
  while (i < text.size() && found < 3) {
    if (text[i] >= '0' && text[i] <= '9') {
      int v = 0, d = 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9' && d < 5)
        v = v * 10 + (text[i++] - '0'), ++d;
      parts[found] = v;
      digits[found++] = d;
    } else {
      ++i;
    }
  }
  if (found != 3) return 0;
  int y = 0, m = 0, d = 0;
  for (int k = 0; k < 3; ++k) {
    if (order[k] == 'd') d = parts[k];
    if (order[k] == 'M') m = parts[k];
    if (order[k] == 'y') {
      y = parts[k];
      if (digits[k] <= 2) y += y < 50 ? 2000 : 1900;
    }
  }
  if (!IsValidDate(y, m, d)) return 0;
  return JulianDayFromCivil(y, m, d);
}

double ParseLeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0;
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (ec != std::errc()) return 0;
  return negative ? -value : value;
}

}  // namespace vorel::sql
