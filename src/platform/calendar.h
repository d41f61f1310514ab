#pragma once

#include <cstdint>

// Proleptic Gregorian calendar arithmetic shared by the table files, the SQL dialect and the texts.
namespace vorel {

struct CivilDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Julian Day Number of 1970-01-01; VFP stores datetimes as Julian Day Numbers.
inline constexpr int64_t kJulianDayOfUnixEpoch = 2440588;

constexpr bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int DaysInMonth(int y, int m) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

constexpr bool IsValidDate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

// Days since 1970-01-01 (negative before it).
constexpr int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(y + (m <= 2)), m, d};
}

constexpr int64_t JulianDayFromCivil(int y, int m, int d) { return DaysFromCivil(y, m, d) + kJulianDayOfUnixEpoch; }
constexpr CivilDate CivilFromJulianDay(int64_t jdn) { return CivilFromDays(jdn - kJulianDayOfUnixEpoch); }

}  // namespace vorel
