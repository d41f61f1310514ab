#pragma once

#include <chrono>

#include "platform/calendar.h"
#include "platform/clock.h"

namespace vorel::testing {

// A clock that stands still until moved; its local time zone is UTC so that texts are predictable.
class FakeClock final : public Clock {
 public:
  FakeClock() : now_(At(2026, 12, 7, 22, 38, 35)) {}
  TimePoint Now() const override { return now_; }
  LocalDateTime ToLocal(TimePoint t) const override {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const int64_t days = (ms >= 0 ? ms : ms - 86399999) / 86400000;
    const int64_t inDay = ms - days * 86400000;
    const CivilDate d = CivilFromDays(days);
    return {d.year,
            d.month,
            d.day,
            static_cast<int>(inDay / 3600000),
            static_cast<int>(inDay / 60000 % 60),
            static_cast<int>(inDay / 1000 % 60),
            static_cast<int>(inDay % 1000)};
  }
  void Set(TimePoint t) { now_ = t; }
  void Advance(std::chrono::milliseconds d) { now_ += d; }

  static TimePoint At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    using namespace std::chrono;
    return TimePoint(duration_cast<Clock::TimePoint::duration>(
        milliseconds(((DaysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60000LL + s * 1000LL + ms)));
  }

 private:
  TimePoint now_;
};

}  // namespace vorel::testing
