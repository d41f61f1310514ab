// One booking (zapis) and one cancellation (delrec) on an appointment table of 1,000,000 slots, next to a
// single slot lookup query over the same table as the baseline; each on an unindexed m2401 and on one with a
// structural index (slot key DTOC(dat,1)+tim+str(kw,5), kl, dat), where the statements seek instead of
// scanning; each with the journal that keeps a write whole across a crash and, for what it costs, without.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "bench_doubles.h"
#include "booking/booking_commands.h"
#include "booking/booking_steps.h"
#include "database/connection.h"
#include "database/query.h"
#include "database/run_query.h"
#include "dbf/table.h"
#include "platform/regional.h"
#include "slot_schedule.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

constexpr size_t kSlots = kScheduleSlots;
constexpr size_t kSlotsPerDay = kScheduleSlotsPerDay;

CivilDate DayOf(size_t i) {
  return ScheduleDayOf(i);
}
std::string Digits8(CivilDate d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

struct Schedule : BookingDesk {
  explicit Schedule(bool indexed) {
    folder = std::filesystem::temp_directory_path() /
             ((indexed ? "vorel_bench_islots_" : "vorel_bench_slots_") + std::to_string(getpid()));
    WriteSchedule(folder, indexed);
    ado.SetConnectionString(ClinicConnectionString(folder));
    KeepOnePatient(cache);
    // The new files go to the disk now, not in the first measured write's flush.
    ::sync();
  }
  ~Schedule() { std::filesystem::remove_all(folder); }
  ReplyFields SlotFields(size_t i, std::string command) const {
    ReplyFields f;
    f[1] = std::move(command);
    f[4] = std::to_string(1 + i % kSlotsPerDay);
    f[5] = Digits8(DayOf(i));
    f[6] = "10:00";
    return f;
  }

  std::filesystem::path folder;
  size_t booked = 0;     // slots 0..booked-1 (spread over the table) are booked by patient 12
  size_t cancelled = 0;  // of which 0..cancelled-1 are cancelled again
};

Schedule& TheSchedule(bool indexed) {
  if (indexed) {
    static Schedule s(true);
    return s;
  }
  static Schedule s(false);
  return s;
}

size_t SpreadSlot(size_t n) {
  return (n * 104'729) % kSlots;
}

void BM_SlotLookupQuery(benchmark::State& state) {
  Schedule& s = TheSchedule(state.range(0) != 0);
  size_t n = 0;
  for (auto _ : state) {
    const ReplyFields f = s.SlotFields(SpreadSlot(n++), "");
    s.ado.Connect();
    RunQuery(s.db, SlotStatement("'" + f[5] + f[6] + std::string(5 - f[4].size(), ' ') + f[4] + "'"));
    benchmark::DoNotOptimize(s.sql.RecordCount());
    s.ado.Disconnect();
  }
}
// Argument: 0 = unindexed m2401, 1 = indexed.
BENCHMARK(BM_SlotLookupQuery)
    ->ArgName("indexed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3);

void BM_Zapis(benchmark::State& state) {
  Schedule& s = TheSchedule(state.range(0) != 0);
  s.ado.SetJournal(state.range(1) != 0);
  for (auto _ : state) {
    ReplyFields f = s.SlotFields(SpreadSlot(s.booked++), "zapis");
    f[8] = "12";
    const std::string answer = RunBookingCommand(s.ctx, f);
    if (answer != "ok") state.SkipWithError(("zapis answered " + answer).c_str());
  }
}
// Arguments: indexed (0/1), journal (0/1).
BENCHMARK(BM_Zapis)
    ->ArgNames({"indexed", "journal"})
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5);

void BM_Delrec(benchmark::State& state) {
  Schedule& s = TheSchedule(state.range(0) != 0);
  s.ado.SetJournal(state.range(1) != 0);
  for (auto _ : state) {
    // Each run cancels a booking still in place, so that every cancellation writes.
    if (s.cancelled >= s.booked) {
      state.SkipWithError("no booking left to cancel");
      break;
    }
    ReplyFields f = s.SlotFields(SpreadSlot(s.cancelled++), "delrec");
    f[7] = "12";
    const std::string answer = RunCancellationCommand(s.ctx, f);
    if (answer != "ok") state.SkipWithError(("delrec answered " + answer).c_str());
  }
}
// Arguments: indexed (0/1), journal (0/1).
BENCHMARK(BM_Delrec)
    ->ArgNames({"indexed", "journal"})
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5);

}  // namespace
}  // namespace vorel

BENCHMARK_MAIN();
