#pragma once

#include <string>

#include "platform/clock.h"

// Regional settings: how dates, times and numbers are shown in every text the service writes.
namespace vorel {

struct RegionalSettings {
  // Patterns in the system's notation: d dd M MM yy yyyy for dates; H HH h hh m mm s ss for times.
  std::string shortDate = "dd.MM.yyyy";
  std::string longTime = "H:mm:ss";
  char decimalSeparator = ',';

  std::string FormatDate(int year, int month, int day) const;
  std::string FormatTime(int hour, int minute, int second) const;
};

// The regional profile of this platform (POSIX: dd.MM.yyyy, H:mm:ss, ",").
RegionalSettings SystemRegionalSettings();

// The date-time text of every moment written to the state store: the local date in the short date format,
// one blank, the local time in the long time format, both of one reading of the clock.
std::string DateTimeText(const Clock& clock, const RegionalSettings& regional);

// The time text of log lines: the current local time in the long time format.
std::string TimeText(const Clock& clock, const RegionalSettings& regional);

}  // namespace vorel
