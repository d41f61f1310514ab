#include "sample_clinic.h"

#include <ctime>
#include <fstream>
#include <random>
#include <vector>

#include "dbf/cdx_build.h"
#include "dbf/table.h"
#include "platform/calendar.h"
#include "platform/code_page.h"

namespace vorel::sample {
namespace {

using dbf::FieldSpec;
using dbf::FieldType;

// One record's fields by name while it is being filled.
class Row {
 public:
  Row(dbf::Table& table, std::span<char> record) : table_(table), record_(record) {}
  Row& Text(std::string_view field, std::string_view utf8) {
    dbf::EncodeText(table_.GetField(field), Utf8ToAnsi(utf8), record_);
    return *this;
  }
  Row& Int(std::string_view field, int64_t value) {
    dbf::EncodeInteger(table_.GetField(field), value, record_);
    return *this;
  }
  Row& Date(std::string_view field, int64_t daysSinceEpoch) {
    dbf::EncodeDate(table_.GetField(field), daysSinceEpoch + kJulianDayOfUnixEpoch, record_);
    return *this;
  }
  Row& Moment(std::string_view field, int64_t daysSinceEpoch, int minutes) {
    dbf::EncodeDateTime(table_.GetField(field),
                        dbf::DateTimeValue{daysSinceEpoch + kJulianDayOfUnixEpoch, minutes * 60000}, record_);
    return *this;
  }

 private:
  dbf::Table& table_;
  std::span<char> record_;
};

dbf::Table Fresh(const std::filesystem::path& folder, std::string_view name,
                 const std::vector<FieldSpec>& fields) {
  for (const char* ext : {".dbf", ".fpt", ".cdx"})
    std::filesystem::remove(folder / (std::string(name) + ext));
  return dbf::Table::Create(folder, name, fields);
}

template <typename Fill>
void Append(dbf::Table& table, Fill fill) {
  table.AppendRecord([&](std::span<char> record) {
    Row row(table, record);
    fill(row);
  });
}

int64_t TodayDays() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string DateKey(int64_t days) {
  const CivilDate d = CivilFromDays(days);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", d.year, d.month, d.day);
  return text;
}

std::string TimeText(int minutes) {
  char text[24];
  std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
  return text;
}

const char* const kSurnames[] = {"Иванов",   "Петров",   "Сидоров", "Кузнецов", "Смирнов", "Попов",
                                 "Соколов",  "Лебедев",  "Козлов",  "Новиков",  "Морозов", "Волков",
                                 "Соловьёв", "Васильев", "Зайцев",  "Павлов",   "Семёнов", "Голубев"};
const char* const kMaleNames[] = {"Александр", "Сергей", "Андрей", "Дмитрий", "Алексей", "Михаил", "Иван"};
const char* const kFemaleNames[] = {"Елена", "Ольга", "Наталья", "Татьяна", "Ирина", "Анна", "Мария"};
const char* const kPatronymicStems[] = {"Александров", "Сергеев", "Андреев", "Дмитриев", "Иванов", "Петров"};

struct Specialty {
  int code;
  const char* name;
};
const Specialty kSpecialties[] = {
    {1, "Терапевт"},          {2, "Хирург"},    {3, "Офтальмолог"},  {4, "Невролог"},
    {5, "Оториноларинголог"}, {6, "Кардиолог"}, {7, "Эндокринолог"}, {8, "Стоматолог"}};

}  // namespace

ClinicFacts CreateSampleClinic(const std::filesystem::path& folder, const ClinicOptions& options) {
  std::filesystem::create_directories(folder);
  std::mt19937 random(options.seed);
  const int64_t today = TodayDays();
  ClinicFacts facts;

  // Patients.
  struct Patient {
    std::string surname, name, patronymic, policy;
  };
  std::vector<Patient> patients;
  {
    dbf::Table m1005 = Fresh(folder, "m1005",
                             {{"npol", FieldType::kCharacter, 20},
                              {"kl", FieldType::kNumeric, 10},
                              {"fiol", FieldType::kCharacter, 30},
                              {"im", FieldType::kCharacter, 20},
                              {"ot", FieldType::kCharacter, 20},
                              {"uch", FieldType::kCharacter, 5},
                              {"lpu1", FieldType::kNumeric, 6},
                              {"probc", FieldType::kNumeric, 4},
                              {"data_r", FieldType::kDate, 8}});
    for (int i = 1; i <= options.patients; ++i) {
      const bool female = random() % 2 == 0;
      std::string surname = kSurnames[random() % std::size(kSurnames)];
      std::string name = female ? kFemaleNames[random() % std::size(kFemaleNames)]
                                : kMaleNames[random() % std::size(kMaleNames)];
      std::string patronymic =
          std::string(kPatronymicStems[random() % std::size(kPatronymicStems)]) + (female ? "на" : "ич");
      if (female) surname += "а";
      if (i == 1) {
        surname = "Иванов";
        name = "Иван";
        patronymic = "Петрович";
      }
      char policy[24];
      std::snprintf(policy, sizeof policy, "77%014d", 1000 + i * 37);
      patients.push_back({surname, name, patronymic, policy});
      const int64_t birth = today - 365 * (18 + static_cast<int64_t>(random() % 70)) - random() % 365;
      Append(m1005, [&](Row& r) {
        r.Text("npol", policy).Int("kl", i).Text("fiol", surname).Text("im", name).Text("ot", patronymic);
        r.Text("uch", std::to_string(1 + random() % 12)).Int("lpu1", 1).Int("probc", 0).Date("data_r", birth);
      });
    }
    facts.patientId = 1;
    facts.surname = Utf8ToAnsi(patients[0].surname);
    facts.policy = patients[0].policy;
  }

  // Reference tables.
  {
    dbf::Table ci003 = Fresh(folder, "ci003",
                             {{"kw", FieldType::kNumeric, 6},
                              {"nb", FieldType::kNumeric, 4},
                              {"fam", FieldType::kCharacter, 30},
                              {"im", FieldType::kCharacter, 20},
                              {"ot", FieldType::kCharacter, 20},
                              {"spec", FieldType::kNumeric, 4},
                              {"kab", FieldType::kCharacter, 5}});
    for (int kw = 1; kw <= options.doctors; ++kw) {
      Append(ci003, [&](Row& r) {
        r.Int("kw", kw)
            .Int("nb", options.doctors + 1 - kw)
            .Text("fam", kSurnames[(kw * 5) % std::size(kSurnames)]);
        r.Text("im", kMaleNames[kw % std::size(kMaleNames)]).Text("ot", "Николаевич");
        r.Int("spec", kSpecialties[(kw - 1) % std::size(kSpecialties)].code)
            .Text("kab", std::to_string(100 + kw));
      });
    }
    for (const char* name : {"c2402", "c2404"}) {
      dbf::Table t =
          Fresh(folder, name, {{"period", FieldType::kNumeric, 4}, {"naim", FieldType::kCharacter, 40}});
      for (const Specialty& s : kSpecialties)
        Append(t, [&](Row& r) { r.Int("period", s.code).Text("naim", s.name); });
    }
    dbf::Table c2403 =
        Fresh(folder, "c2403", {{"kod", FieldType::kNumeric, 4}, {"naim", FieldType::kCharacter, 40}});
    for (const auto& entry : {std::pair{1, "Первичный приём"}, std::pair{2, "Повторный приём"},
                              std::pair{3, "Профилактический осмотр"}}) {
      Append(c2403, [&](Row& r) { r.Int("kod", entry.first).Text("naim", entry.second); });
    }
    dbf::Table c2406 = Fresh(folder, "c2406",
                             {{"kw", FieldType::kNumeric, 6},
                              {"dat", FieldType::kDate, 8},
                              {"tim_n", FieldType::kCharacter, 5},
                              {"tim_k", FieldType::kCharacter, 5}});
    for (int kw = 1; kw <= options.doctors; ++kw) {
      for (int64_t d = -2; d < 32; ++d) {
        Append(c2406, [&](Row& r) {
          r.Int("kw", kw).Date("dat", today + d).Text("tim_n", "08:00").Text("tim_k", "14:00");
        });
      }
    }
    dbf::Table c2409 =
        Fresh(folder, "c2409", {{"kod", FieldType::kNumeric, 4}, {"naim", FieldType::kCharacter, 60}});
    Append(c2409, [&](Row& r) { r.Int("kod", 1).Text("naim", "Приём по записи через интернет"); });
    Append(c2409, [&](Row& r) { r.Int("kod", 2).Text("naim", "При себе иметь полис и паспорт"); });
    dbf::Table ci007 =
        Fresh(folder, "ci007", {{"kod", FieldType::kNumeric, 4}, {"naim", FieldType::kCharacter, 60}});
    Append(ci007, [&](Row& r) { r.Int("kod", 1).Text("naim", "Поликлиника № 1, ул. Ленина, 10"); });
    dbf::Table ci004 =
        Fresh(folder, "ci004", {{"kod", FieldType::kNumeric, 4}, {"naim", FieldType::kCharacter, 40}});
    for (const auto& entry : {std::pair{1, "Взрослые"}, std::pair{2, "Льготники"}, std::pair{3, "Дети"}}) {
      Append(ci004, [&](Row& r) { r.Int("kod", entry.first).Text("naim", entry.second); });
    }
  }

  // The appointment grid: every 20 minutes from 08:00 to 13:40, most slots offered to the portal.
  {
    dbf::Table m2401 = Fresh(folder, "m2401",
                             {{"kw", FieldType::kNumeric, 6},
                              {"dat", FieldType::kDate, 8},
                              {"tim", FieldType::kCharacter, 5},
                              {"kl", FieldType::kNumeric, 10},
                              {"polis", FieldType::kCharacter, 20},
                              {"fiol", FieldType::kCharacter, 40},
                              {"ist_zap", FieldType::kCharacter, 10},
                              {"filtr", FieldType::kCharacter, 10},
                              {"phone", FieldType::kCharacter, 15},
                              {"fam_reg", FieldType::kCharacter, 20},
                              {"dt_zap", FieldType::kDateTime, 8},
                              {"data_naz", FieldType::kDateTime, 8},
                              {"ntal", FieldType::kNumeric, 6},
                              {"tel", FieldType::kNumeric, 2}});
    for (int kw = 1; kw <= options.doctors; ++kw) {
      for (int64_t d = -options.daysBack; d <= options.daysForward; ++d) {
        for (int minutes = 8 * 60; minutes < 14 * 60; minutes += 20) {
          const bool taken = random() % 4 == 0;
          const bool offered = random() % 5 != 0;
          const int patient =
              2 + static_cast<int>(random() % (options.patients > 1 ? options.patients - 1 : 1));
          Append(m2401, [&](Row& r) {
            r.Int("kw", kw)
                .Date("dat", today + d)
                .Text("tim", TimeText(minutes))
                .Text("ist_zap", offered ? "12" : "1");
            if (taken && patient <= options.patients) {
              const Patient& p = patients[patient - 1];
              r.Int("kl", patient)
                  .Text("fiol",
                        p.surname + " " + p.name.substr(0, 2) + "." + p.patronymic.substr(0, 2) + ".");
              r.Text("phone", "REG")
                  .Moment("dt_zap", today + d - 7, 9 * 60)
                  .Moment("data_naz", today + d - 7, 9 * 60);
              r.Int("ntal", 1000 + patient);
            }
          });
          ++facts.slots;
          const bool free = !(taken && patient <= options.patients) && offered && d >= 0 && d <= 15;
          if (free) {
            ++facts.freeSlots;
            if (facts.freeSlotDoctor == 0 && d >= 1) {
              facts.freeSlotDoctor = kw;
              facts.freeSlotDate = DateKey(today + d);
              facts.freeSlotTime = TimeText(minutes);
            }
          }
        }
      }
    }
    if (options.indexed) {
      // The slot key the booking commands look slots up by, ordered as the service's connection compares.
      const std::vector<dbf::TagSpec> tags = {
          {"slot", "DTOC(dat,1)+tim+str(kw,5)", "", false, "RUSSIAN"}, {"kl", "kl"}, {"dat", "dat"}};
      dbf::CreateStructuralIndex(m2401, tags, dbf::BasicKeyExpressionCompiler());
    }
  }

  std::ofstream(folder / "kestrum.exe") << "reception desk program\n";
  return facts;
}

}  // namespace vorel::sample
