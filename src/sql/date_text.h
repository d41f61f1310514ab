#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/regional.h"

// Text forms of dates and date-times, and reading them back.
namespace vorel::sql {

// "yyyymmdd"; eight blanks for the empty date (Julian day 0).
std::string CompactDateText(int64_t julianDay);
// "yyyymmddhhmmss"; fourteen blanks for the empty date-time.
std::string CompactDateTimeText(int64_t milliseconds);
// The regional short date; for the empty date the same form with blanks in place of digits.
std::string ShortDateText(int64_t julianDay, const RegionalSettings& regional);
// Regional short date, one blank, regional long time; blanks likewise for the empty date-time.
std::string MomentText(int64_t milliseconds, const RegionalSettings& regional);
// A date in the regional short date order (day, month, year as the pattern orders them; any non-digit
// separates; two-digit years are 1950..2049); the empty date (0) for text that is no valid date.
int64_t ParseShortDate(std::string_view text, const RegionalSettings& regional);
// VAL(): the number at the start of the text after blanks (sign, digits, point, exponent); 0 when none.
double ParseLeadingNumber(std::string_view text);

}  // namespace vorel::sql
