#pragma once

// The appointment table of the booking benchmarks: 1,000,000 free slots, numbers 1..99,999 on each of ten
// days from 2020-01-01 (all in the past: no limit refuses a booking), all at 10:00; optionally with the
// structural index of a clinic that has one (slot key, kl, dat).
#include <filesystem>
#include <string>
#include <vector>

#include "dbf/cdx_build.h"
#include "dbf/table.h"
#include "support/clinic_tables.h"

namespace vorel {

inline constexpr size_t kScheduleSlots = 1'000'000;
inline constexpr size_t kScheduleSlotsPerDay = 99'999;
inline const int64_t kScheduleFirstDay = JulianDayFromCivil(2020, 1, 1);

// The day of slot i (0-based) of the table.
inline CivilDate ScheduleDayOf(size_t i) {
  return CivilFromJulianDay(kScheduleFirstDay + static_cast<int64_t>(i / kScheduleSlotsPerDay));
}

inline void WriteSchedule(const std::filesystem::path& folder, bool indexed) {
  std::filesystem::create_directories(folder);
  testing_support::WriteM2401(folder, kScheduleSlots, [](size_t i) {
    testing_support::SlotRow r;
    r.kw = static_cast<int64_t>(1 + i % kScheduleSlotsPerDay);
    r.dat = ScheduleDayOf(i);
    r.tim = "10:00";
    return r;
  });
  if (!indexed) return;
  dbf::Table t = dbf::Table::Open(folder, "m2401");
  const std::vector<dbf::TagSpec> tags = {
      {"slot", "DTOC(dat,1)+tim+str(kw,5)"}, {"kl", "kl"}, {"dat", "dat"}};
  dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
}

}  // namespace vorel
