#include "booking/slot_moment.h"

#include <string>

#include "booking/text_trim.h"
#include "platform/calendar.h"

namespace vorel {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// One to two digits at `pos`, below `limit`; advances pos.
int ReadPart(std::string_view text, std::size_t& pos, int limit, std::string_view whole) {
  int value = 0;
  std::size_t digits = 0;
  while (pos < text.size() && digits < 2 && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0 || value >= limit)
    throw SlotMomentError("'" + std::string(whole) + "' is not a valid time");
  return value;
}

int64_t TimeOfDayMs(std::string_view text) {
  const std::string_view t = TrimText(text);
  if (t.empty()) return 0;
  std::size_t pos = 0;
  const int h = ReadPart(t, pos, 24, t);
  if (pos >= t.size() || t[pos] != ':') throw SlotMomentError("'" + std::string(t) + "' is not a valid time");
  ++pos;
  const int m = ReadPart(t, pos, 60, t);
  int s = 0;
  if (pos < t.size()) {
    if (t[pos] != ':') throw SlotMomentError("'" + std::string(t) + "' is not a valid time");
    ++pos;
    s = ReadPart(t, pos, 60, t);
  }
  if (pos != t.size()) throw SlotMomentError("'" + std::string(t) + "' is not a valid time");
  return (h * 3600LL + m * 60LL + s) * 1000;
}

}  // namespace

int64_t SlotMoment(const sql::Value& date, std::string_view time) {
  int64_t days;
  if (date.kind == sql::ValueKind::kDate && date.moment != 0) {
    days = date.moment - kJulianDayOfUnixEpoch;
  } else if (date.kind == sql::ValueKind::kDateTime && date.moment != 0) {
    days = date.moment / kMsPerDay - kJulianDayOfUnixEpoch;
  } else {
    throw SlotMomentError("The slot has no date");
  }
  return days * kMsPerDay + TimeOfDayMs(time);
}

int64_t LocalMoment(const LocalDateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kMsPerDay +
         ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

}  // namespace vorel
