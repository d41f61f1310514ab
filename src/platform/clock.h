#pragma once

#include <chrono>

// The wall clock, behind an interface so that tests can set the time.
namespace vorel {

struct LocalDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint Now() const = 0;
  // The moment in the machine's local time zone.
  virtual LocalDateTime ToLocal(TimePoint t) const = 0;
  LocalDateTime LocalNow() const { return ToLocal(Now()); }
};

// The real clock of the machine in its local time zone.
class SystemClock final : public Clock {
 public:
  TimePoint Now() const override { return std::chrono::system_clock::now(); }
  LocalDateTime ToLocal(TimePoint t) const override;
};

}  // namespace vorel
