#pragma once

#include <map>
#include <string>
#include <vector>

#include "table_text.h"

// The clinic's appointment grid as the portal knows it from the published tables: the free slots ("nomer"),
// the taken ones ("busynom") and the doctors of the reference table ci003 (with their specialty from c2402).
namespace vorel::portal {

struct ScheduleSlot {
  std::string time;     // hh:mm
  std::string patient;  // kl of a taken slot; empty when free
};

struct ScheduleDoctor {
  std::string kw;
  std::string name;    // "Surname N. P." from ci003, or "doctor <kw>" when ci003 does not name it
  std::string detail;  // specialty and room, when the reference tables have them
};

struct Schedule {
  std::vector<ScheduleDoctor> doctors;  // ordered by name
  std::vector<std::string> days;        // yyyymmdd, ascending
  // (kw, yyyymmdd) -> the slots of that doctor on that day, by time
  std::map<std::pair<std::string, std::string>, std::vector<ScheduleSlot>> cells;
  std::size_t freeSlots = 0;
  std::size_t takenSlots = 0;
};

// Texts stay as published (Windows-1251).
Schedule BuildSchedule(const std::vector<PublishedTable>& freeSlots,
                       const std::vector<PublishedTable>& takenSlots,
                       const std::vector<PublishedTable>& reference);

// "dd.MM.yyyy" -> "yyyymmdd" (the reply's slot date form); other texts unchanged.
std::string DateKey(const std::string& shown);

}  // namespace vorel::portal
