// Conditions an operator sends through adm_sql, each a SELECT over an m2401 of 1,000,000 slots without an
// index, next to a plain read() of the same file in the same run (the ratio that counts).
//
// The table: 100 days of 10,000 slots from 2026-10-01, today 2026-11-20; slot numbers 1..10,000 a day, times
// 08:00..12:45 in steps of 15 minutes. Every fifth slot is booked by a patient (kl, name in mixed case,
// phone, ticket number), every tenth with a policy number; the rest are free.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "plain_read.h"
#include "sql/executor.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

constexpr size_t kSlots = 1'000'000;
constexpr size_t kSlotsPerDay = 10'000;
const int64_t kFirstDay = JulianDayFromCivil(2026, 10, 1);

const char* const kNames[] = {"Ivanov Ivan",   "PETROVA ANNA", "petrova anna", "Sidorov Petr",
                              "  Kuznetsova ", "Smirnov",      "SMIRNOV OLEG", "Popov Pavel"};

testing_support::SlotRow SlotOf(size_t i) {
  testing_support::SlotRow r;
  r.kw = static_cast<int64_t>(1 + i % kSlotsPerDay);
  r.dat = CivilFromJulianDay(kFirstDay + static_cast<int64_t>(i / kSlotsPerDay));
  const int minutes = 8 * 60 + static_cast<int>(i % 20) * 15;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
  r.tim = text;
  r.filtr = "T" + std::to_string(i % 9);
  r.ist_zap = i % 7 == 5 ? "1" : "12";
  if (i % 5 == 2) {
    r.kl = static_cast<int64_t>(100'000 + i % 70'000);
    r.fiol = kNames[(i / 5) % 8];
    std::snprintf(text, sizeof text, "8916%07zu", i % 9'999'999);
    r.phone = text;
    r.ntal = i % 3 == 0 ? r.kw : r.kw + 1;
    if (i % 10 == 7) {
      std::snprintf(text, sizeof text, "77001234%08zu", i);
      r.polis = text;
    }
  }
  return r;
}

struct Schedule {
  Schedule() {
    folder = std::filesystem::temp_directory_path() / ("vorel_bench_adm_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    testing_support::WriteM2401(folder, kSlots, SlotOf);
    options.folder = folder;
    options.collation = sql::Collation::kRussian;
    options.now = LocalDateTime{2026, 11, 20, 10, 0, 0, 0};
  }
  ~Schedule() { std::filesystem::remove_all(folder); }
  std::filesystem::path folder;
  sql::ExecutionOptions options;
};

Schedule& TheSchedule() {
  static Schedule s;
  return s;
}

void BM_PlainRead(benchmark::State& state) {
  const std::filesystem::path file = TheSchedule().folder / "m2401.dbf";
  std::vector<char> buffer;
  for (auto _ : state) benchmark::DoNotOptimize(ReadWholeFile(file, buffer));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);

struct ConditionCase {
  const char* label;
  const char* statement;
};

const ConditionCase kCases[] = {
    {"C field equal", "select kw,dat,tim,fiol from m2401 where polis='7700123400500007'"},
    {"number range", "select kw,dat,tim,kl from m2401 where kl>=169990 and kl<170000"},
    {"date range with DATE()",
     "select kw,dat,tim from m2401 where dat>=DATE()+3 and dat<DATE()+5 and tim='09:15'"},
    {"ALLTRIM/UPPER", "select kw,dat,tim from m2401 where ALLTRIM(UPPER(fiol))='KUZNETSOVA' and dat=DATE()"},
    {"LIKE %..%", "select kw,dat,tim,phone from m2401 where phone like '%23457%'"},
    {"LIKE ..%", "select kw,dat,tim,fiol from m2401 where fiol like 'Sidorov%' and kw<=20"},
    {"BETWEEN",
     "select kw,dat,tim from m2401 where kw between 100 and 102 and dat between DATE()-1 and DATE()+1"},
    {"OR/NOT",
     "select kw,dat,tim from m2401 where (kl=123456 or polis='7700123400999997') and not dat<DATE()"},
    {"DTOS/DTOC", "select kw,dat,tim from m2401 where DTOS(dat)='20261125' and tim='11:00' and kl>0"},
    {"field with field", "select kw,dat,tim from m2401 where ntal<>kw and ntal>9990"},
    {"COUNT(*)", "select count(*) from m2401 where kl>0 and dat>=DATE()"},
    {"slot key", "select kw,dat,tim from m2401 where DTOC(dat,1)+tim+str(kw,5)='2026112010:30 5011'"},
};

void BM_Condition(benchmark::State& state) {
  Schedule& s = TheSchedule();
  const ConditionCase& c = kCases[state.range(0)];
  state.SetLabel(c.label);
  size_t rows = 0;
  for (auto _ : state) rows = sql::RunStatement(c.statement, s.options).rows.rowCount();
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_Condition)
    ->DenseRange(0, static_cast<int>(std::size(kCases)) - 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5);

}  // namespace
}  // namespace vorel

BENCHMARK_MAIN();
