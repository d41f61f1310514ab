#include "schedule_grid.h"

#include <algorithm>
#include <set>

#include "platform/code_page.h"

namespace vorel::portal {
namespace {

// Index of the column of that name, letter case ignored; -1 when there is none.
int Column(const PublishedTable& t, std::string_view name) {
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    if (ToLowerAnsi(t.columns[i]) == name) return static_cast<int>(i);
  }
  return -1;
}

std::string Cell(const std::vector<std::string>& row, int column) {
  return column >= 0 && static_cast<std::size_t>(column) < row.size() ? row[static_cast<std::size_t>(column)]
                                                                      : std::string();
}

const PublishedTable* Find(const std::vector<PublishedTable>& tables, std::string_view name) {
  for (const auto& t : tables) {
    if (ToLowerAnsi(t.name) == name) return &t;
  }
  return nullptr;
}

std::string Initial(const std::string& word) {
  return word.empty() ? std::string() : word.substr(0, 1) + ".";
}

}  // namespace

std::string DateKey(const std::string& shown) {
  if (shown.size() == 10 && shown[2] == '.' && shown[5] == '.') {
    return shown.substr(6, 4) + shown.substr(3, 2) + shown.substr(0, 2);
  }
  return shown;
}

Schedule BuildSchedule(const std::vector<PublishedTable>& freeSlots,
                       const std::vector<PublishedTable>& takenSlots,
                       const std::vector<PublishedTable>& reference) {
  Schedule s;
  std::set<std::string> days, kws;
  auto add = [&](const std::vector<PublishedTable>& tables, bool taken) {
    for (const PublishedTable& t : tables) {
      const int dat = Column(t, "dat"), tim = Column(t, "tim"), kw = Column(t, "kw"), kl = Column(t, "kl");
      if (dat < 0 || tim < 0 || kw < 0) continue;
      for (const auto& row : t.rows) {
        const std::string day = DateKey(Cell(row, dat)), doctor = Cell(row, kw);
        std::string patient = taken ? Cell(row, kl) : std::string();
        if (taken && (patient.empty() || patient == "0")) patient = "?";  // held by a policy number only
        s.cells[{doctor, day}].push_back({Cell(row, tim), patient});
        days.insert(day);
        kws.insert(doctor);
        ++(taken ? s.takenSlots : s.freeSlots);
      }
    }
  };
  add(freeSlots, false);
  add(takenSlots, true);
  for (auto& [key, slots] : s.cells) {
    std::sort(slots.begin(), slots.end(),
              [](const ScheduleSlot& a, const ScheduleSlot& b) { return a.time < b.time; });
  }
  s.days.assign(days.begin(), days.end());

  // Specialty names by code, from c2402 (period, naim).
  std::map<std::string, std::string> specialties;
  if (const PublishedTable* c2402 = Find(reference, "c2402")) {
    const int code = Column(*c2402, "period"), name = Column(*c2402, "naim");
    for (const auto& row : c2402->rows) specialties[Cell(row, code)] = Cell(row, name);
  }
  std::map<std::string, ScheduleDoctor> named;
  if (const PublishedTable* ci003 = Find(reference, "ci003")) {
    const int kw = Column(*ci003, "kw"), fam = Column(*ci003, "fam"), im = Column(*ci003, "im"),
              ot = Column(*ci003, "ot"), spec = Column(*ci003, "spec"), kab = Column(*ci003, "kab");
    for (const auto& row : ci003->rows) {
      ScheduleDoctor d{Cell(row, kw), Cell(row, fam), {}};
      if (d.name.empty()) continue;
      const std::string initials = Initial(Cell(row, im)) + Initial(Cell(row, ot));
      if (!initials.empty()) d.name += " " + initials;
      d.detail = specialties.count(Cell(row, spec)) ? specialties[Cell(row, spec)] : std::string();
      if (!Cell(row, kab).empty())
        d.detail += (d.detail.empty() ? "" : ", ") + std::string("room ") + Cell(row, kab);
      named[d.kw] = d;
    }
  }
  for (const std::string& kw : kws) {
    auto it = named.find(kw);
    s.doctors.push_back(it != named.end() ? it->second : ScheduleDoctor{kw, "doctor " + kw, {}});
  }
  std::sort(s.doctors.begin(), s.doctors.end(),
            [](const ScheduleDoctor& a, const ScheduleDoctor& b) { return a.name < b.name; });
  return s;
}

}  // namespace vorel::portal
