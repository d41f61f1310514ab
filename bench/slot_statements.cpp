// Every statement that a booking (zapis, zapis2) and a cancellation (delrec, delrec2) issues, on an m2401 of
// 1,000,000 slots without an index, next to a plain read() of the same file in the same run (the ratio that
// counts). Then one booking as the service carries it out, from the portal's reply to the answer that the
// next request carries with the free-slot and busy-slot exports rendered and compressed again, through the
// service's own wiring with a portal that answers at once: on the table without an index and on one with a
// structural index (slot key, kl, dat).
//
// The table is that of bench/booking.cpp (slot_schedule.h): every slot free and in the past, so the exports
// scan the whole table and find no rows in their windows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "bench_doubles.h"
#include "booking/booking_steps.h"
#include "database/run_query.h"
#include "exchange/poll_cycle.h"
#include "plain_read.h"
#include "service/service_exchange.h"
#include "slot_schedule.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

constexpr size_t kSlots = kScheduleSlots;
constexpr size_t kSlotsPerDay = kScheduleSlotsPerDay;

// A portal that answers each POST at once with the next reply it was given ("1" when it has none).
class InstantPortal : public HttpClient {
 public:
  std::string Post(const std::string&, const std::string&, const std::string&) override {
    std::string reply = next.empty() ? "1" : next;
    next.clear();
    return reply;
  }
  std::string Get(const std::string&) override { throw HttpConnectError("no configuration script here"); }
  ProxySettings& proxy() override { return proxy_; }
  void Disconnect() override {}
  std::string next;

 private:
  ProxySettings proxy_;
};

struct Slot {
  std::string kw, date;  // slot number and yyyymmdd as the reply fields carry them
  std::string key() const {
    return date + "10:00" + std::string(kw.size() < 5 ? 5 - kw.size() : 0, ' ') + kw;
  }
};

// Slot n of a sequence spread over the whole table.
Slot SlotOf(size_t n) {
  const size_t i = (n * 104'729) % kSlots;
  const CivilDate d = ScheduleDayOf(i);
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", d.year, d.month, d.day);
  return {std::to_string(1 + i % kSlotsPerDay), date};
}

struct Schedule {
  explicit Schedule(bool indexed) {
    folder = std::filesystem::temp_directory_path() /
             ((indexed ? "vorel_bench_stmt_i_" : "vorel_bench_stmt_") + std::to_string(getpid()));
    WriteSchedule(folder, indexed);
    ado.SetConnectionString(ClinicConnectionString(folder));
    settings.Set("path", folder.string());
    settings.Set("id", "1");
    settings.Set("pass", "x");
    PatientCache& cache = exchange.patientCache();
    KeepOnePatient(cache);
    cache.timeOfLastLoad = clock.Now();
  }
  ~Schedule() { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  Logger& log = DroppingLogger();
  SystemClock clock;
  RegionalSettings regional;
  Connection ado;
  Query sql{ado, clock, regional};
  DatabaseContext db{ado, sql, log, clock, regional};
  ZeroStateStore store;
  SettingsList settings;
  ExchangeState state;
  InstantPortal portal;
  std::atomic<int32_t> stopFlag{0};
  ServiceExchange exchange{ServiceExchangeParts{state,
                                                log,
                                                store,
                                                settings,
                                                portal,
                                                ado,
                                                sql,
                                                clock,
                                                regional,
                                                stopFlag,
                                                "127.0.0.1:9",
                                                "127.0.0.1:9",
                                                "",
                                                "",
                                                {},
                                                "",
                                                ""}};
  size_t next = 0;  // slots 0..next-1 of the spread sequence have been used
};

Schedule& TheSchedule(bool indexed) {
  if (indexed) {
    static Schedule s(true);
    return s;
  }
  static Schedule s(false);
  return s;
}

// The floor: the unindexed table's file read whole.
void BM_PlainRead(benchmark::State& state) {
  const std::filesystem::path file = TheSchedule(false).folder / "m2401.dbf";
  std::vector<char> buffer;
  for (auto _ : state) benchmark::DoNotOptimize(ReadWholeFile(file, buffer));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);

// The statements as the commands build them for a slot (patient 12, policy 123).
std::string ZapisLimit(const Slot&) {
  return "select kw,dat,tim from m2401 WHERE kl=12 AND DATE()<=dat AND kw>=1 AND kw<=99999";
}
std::string Zapis2Limit(const Slot&) {
  return "select kw,dat,tim from m2401 WHERE polis='123' AND DATE()<=dat";
}
std::string Lookup(const Slot& s) {
  return SlotStatement("'" + s.key() + "'");
}
std::string Zapis2Confirm(const Slot& s) {
  return SlotStatement("'" + s.key() + "'", ",polis");
}
std::string ZapisUpdate(const Slot& s) {
  return "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', fam_reg='OLNA-12', "
         "fiol='petrov',kl=12,tel=2 WHERE DTOC(dat,1)+tim+str(kw,5)='" +
         s.key() + "'" + std::string(kFreeSlotCondition);
}
std::string Zapis2Update(const Slot& s) {
  return "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', polis='123', "
         "fam_reg='OLNA', fiol='*petrov',kl=0,tel=2 WHERE DTOC(dat,1)+tim+str(kw,5)='" +
         s.key() + "'" + std::string(kFreeSlotCondition);
}
std::string Delrec(const Slot& s) {
  return "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=" + s.kw +
         " AND DTOS(dat)='" + s.date + "' AND kl=12 AND tim='10:00'";
}
std::string Delrec2(const Slot& s) {
  return "UPDATE m2401 SET fiol='', polis='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=" + s.kw +
         " AND DTOS(dat)='" + s.date + "' AND polis='123' AND tim='10:00'";
}

struct StatementCase {
  const char* name;
  std::function<std::string(const Slot&)> timed;
  bool query;  // runs through RunQuery, else the execute path
  std::function<std::string(const Slot&)>
      before;                                     // untimed: puts the slot in the state the statement expects
  std::function<std::string(const Slot&)> after;  // untimed: puts it back
};

const std::vector<StatementCase>& Cases() {
  static const std::vector<StatementCase> cases = {
      {"zapis limit", ZapisLimit, true, nullptr, nullptr},
      {"zapis/zapis2 slot lookup and zapis confirmation", Lookup, true, nullptr, nullptr},
      {"zapis update", ZapisUpdate, false, nullptr, Delrec},
      {"zapis2 limit", Zapis2Limit, true, nullptr, nullptr},
      {"zapis2 update", Zapis2Update, false, nullptr, Delrec2},
      {"zapis2 confirmation", Zapis2Confirm, true, nullptr, nullptr},
      {"delrec update", Delrec, false, ZapisUpdate, nullptr},
      {"delrec2 update", Delrec2, false, Zapis2Update, nullptr},
  };
  return cases;
}

void BM_SlotStatement(benchmark::State& state) {
  Schedule& s = TheSchedule(false);
  const StatementCase& c = Cases()[static_cast<size_t>(state.range(0))];
  state.SetLabel(c.name);
  s.ado.Connect();
  for (auto _ : state) {
    const Slot slot = SlotOf(s.next++);
    if (c.before) {
      state.PauseTiming();
      ExecuteStatement(s.db, c.before(slot));
      state.ResumeTiming();
    }
    if (c.query) {
      RunQuery(s.db, c.timed(slot));
      benchmark::DoNotOptimize(s.sql.RecordCount());
    } else if (ExecuteStatement(s.db, c.timed(slot)) != 1) {
      state.SkipWithError("the statement did not change its slot");
      break;
    }
    if (c.after) {
      state.PauseTiming();
      ExecuteStatement(s.db, c.after(slot));
      state.ResumeTiming();
    }
  }
  s.sql.Close();
  s.ado.Disconnect();
}
BENCHMARK(BM_SlotStatement)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);

// One zapis inside the service: the poll cycle whose reply is the command (the booking runs), and the next
// one, which renders and compresses both exports and sends the answer.
void BM_ZapisInService(benchmark::State& state) {
  Schedule& s = TheSchedule(state.range(0) != 0);
  ExchangeContext& ctx = s.exchange.context();
  RunPollCycle(ctx);  // the first exports, so that the measured cycles start from the idle rhythm
  for (auto _ : state) {
    const Slot slot = SlotOf(s.next++);
    s.portal.next = "sess&zapis&&&" + slot.kw + "&" + slot.date + "&10:00&&12";
    RunPollCycle(ctx);
    if (s.state.pendingAnswer != "ok") {
      state.SkipWithError(("zapis answered " + s.state.pendingAnswer).c_str());
      break;
    }
    RunPollCycle(ctx);
  }
}
BENCHMARK(BM_ZapisInService)
    ->ArgName("indexed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5);

}  // namespace
}  // namespace vorel

BENCHMARK_MAIN();
