#include <ctime>

#include "platform/clock.h"

namespace vorel {

LocalDateTime SystemClock::ToLocal(TimePoint t) const {
  using namespace std::chrono;
  const auto since = t.time_since_epoch();
  auto secs = duration_cast<seconds>(since);
  auto ms = duration_cast<milliseconds>(since - secs).count();
  if (ms < 0) {
    ms += 1000;
    secs -= seconds(1);
  }
  const std::time_t tt = static_cast<std::time_t>(secs.count());
  std::tm tm{};
  localtime_r(&tt, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

}  // namespace vorel
