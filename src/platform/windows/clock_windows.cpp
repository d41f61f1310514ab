#include <windows.h>

#include "platform/clock.h"

namespace vorel {

namespace {
// FILETIME counts 100-ns steps since 1601-01-01; this many of them lie before 1970-01-01.
constexpr int64_t kFileTimeOfUnixEpoch = 116444736000000000LL;
}  // namespace

LocalDateTime SystemClock::ToLocal(TimePoint t) const {
  using namespace std::chrono;
  const int64_t ticks =
      duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(t.time_since_epoch()).count() +
      kFileTimeOfUnixEpoch;
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<ULONGLONG>(ticks < 0 ? 0 : ticks);
  const FILETIME utc{value.LowPart, value.HighPart};
  SYSTEMTIME utcParts{}, local{};
  // The time zone's rules for that moment (daylight saving included), as the system shows local time.
  if (!FileTimeToSystemTime(&utc, &utcParts) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &local)) {
    GetLocalTime(&local);
  }
  return {local.wYear,   local.wMonth,  local.wDay,         local.wHour,
          local.wMinute, local.wSecond, local.wMilliseconds};
}

}  // namespace vorel
