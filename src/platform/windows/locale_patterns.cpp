#include "platform/windows/locale_patterns.h"

namespace vorel::windows {
namespace {

// Removes the quotes around literal text ('' stands for one quote).
std::string WithoutQuotes(std::string_view pattern) {
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '\'') {
      out += c;
    } else if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
      out += '\'';
      ++i;
    } else {
      quoted = !quoted;
    }
  }
  return out;
}

// A 12-hour pattern with an AM/PM marker as the 24-hour clock: 't' runs go, with the blank that joins them to
// the rest, and 'h' becomes 'H'.
std::string TwentyFourHour(std::string time) {
  if (time.find('t') == std::string::npos) return time;
  std::string out;
  for (size_t i = 0; i < time.size(); ++i) {
    if (time[i] == 't') continue;
    out += time[i] == 'h' ? 'H' : time[i];
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  for (size_t pos; (pos = out.find("  ")) != std::string::npos;) out.erase(pos, 1);
  return out;
}

}  // namespace

RegionalSettings RegionalSettingsFromLocale(std::string_view shortDate, std::string_view longTime,
                                            std::string_view decimalSeparator) {
  RegionalSettings settings;
  if (!shortDate.empty()) settings.shortDate = WithoutQuotes(shortDate);
  if (!longTime.empty()) settings.longTime = TwentyFourHour(WithoutQuotes(longTime));
  if (!decimalSeparator.empty()) settings.decimalSeparator = decimalSeparator.front();
  return settings;
}

}  // namespace vorel::windows
