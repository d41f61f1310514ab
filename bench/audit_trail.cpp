// What the audit trail costs a booking: one booking (zapis) on an indexed appointment table of 100,000 slots,
// with its entry written to the audit trail (SQLite, flushed before the answer) and, as the baseline in the
// same run, without; the entry's append alone; and the size of 10,000 booking entries in the SQLite store
// and in the file of the Windows home.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "bench_doubles.h"
#include "booking/booking_commands.h"
#include "database/connection.h"
#include "database/query.h"
#include "dbf/cdx_build.h"
#include "dbf/table.h"
#include "exchange/command_audit.h"
#include "exchange/split_fields.h"
#include "platform/audit_store.h"
#include "platform/regional.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

constexpr size_t kSlots = 100'000;
constexpr size_t kEntries = 10'000;

std::string SlotReply(size_t i) {
  const CivilDate d = CivilFromJulianDay(JulianDayFromCivil(2020, 1, 1) + static_cast<int64_t>(i / 1000));
  char reply[96];
  std::snprintf(reply, sizeof reply, "a81f20&zapis&&&%zu&%04d%02d%02d&10:00&&12", 1 + i % 1000, d.year,
                d.month, d.day);
  return reply;
}

struct Clinic : BookingDesk {
  Clinic() : BookingDesk(recorder) {
    folder = std::filesystem::temp_directory_path() / ("vorel_bench_audit_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    testing_support::WriteM2401(folder, kSlots, [](size_t i) {
      testing_support::SlotRow r;
      r.kw = static_cast<int64_t>(1 + i % 1000);
      r.dat = CivilFromJulianDay(JulianDayFromCivil(2020, 1, 1) + static_cast<int64_t>(i / 1000));
      r.tim = "10:00";
      return r;
    });
    dbf::Table t = dbf::Table::Open(folder, "m2401");
    const std::vector<dbf::TagSpec> tags = {{"slot", "DTOC(dat,1)+tim+str(kw,5)", "", false, ""},
                                            {"kl", "kl", "", false, ""}};
    dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
    ado.SetConnectionString(ClinicConnectionString(folder));
    KeepOnePatient(cache);
    audit = OpenSqliteAuditStore((folder / "state.db").string());
    ::sync();
  }
  ~Clinic() { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  CommandAudit recorder{nullptr, DroppingLogger(), clock};  // the logger of `db`, set up before its use
  std::unique_ptr<AuditStore> audit;
  size_t booked = 0;
};

Clinic& TheClinic() {
  static Clinic c;
  return c;
}

// Argument: 1 = the entry goes into the audit trail, 0 = the same booking unrecorded (the baseline).
void BM_ZapisAudited(benchmark::State& state) {
  Clinic& c = TheClinic();
  c.recorder.SetStore(state.range(0) != 0 ? c.audit.get() : nullptr);
  c.ado.SetWriteObserver(&c.recorder);
  for (auto _ : state) {
    const std::string reply = SlotReply((c.booked++ * 7919) % kSlots);
    const ReplyFields f = SplitFields(reply, '&');
    c.recorder.Begin(reply, f);
    const std::string answer = RunBookingCommand(c.ctx, f);
    c.recorder.Finish(answer);
    if (answer != "ok") state.SkipWithError(("zapis answered " + answer).c_str());
  }
}
BENCHMARK(BM_ZapisAudited)
    ->ArgName("audit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5);

// A booking's entry as the trail keeps it: the reply, its log lines and the seven changed fields.
AuditEntry BookingEntry(size_t i) {
  AuditEntry e;
  e.unixMillis = 1'765'000'000'000 + static_cast<int64_t>(i) * 1000;
  e.localTime = "20261209 10:15:02";
  e.session = "a81f20";
  e.command = "zapis";
  e.line = SlotReply(i);
  e.answer = "ok";
  e.log = {
      "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', fam_reg='OLNA-12', "
      "fiol='Petrov A.S.',kl=12,tel=2 WHERE DTOC(dat,1)+tim+str(kw,5)='2020010110:00    1' AND kl=0 AND "
      "fiol==''",
      "ok", "status: ok"};
  e.kw = std::to_string(1 + i % 1000);
  e.date = "20200101";
  e.time = "10:00";
  e.patient = "12";
  e.recordsChanged = 1;
  e.records = {{"m2401",
                static_cast<uint32_t>(i + 1),
                false,
                {{"KL", "0", "12"},
                 {"FIOL", "", "Petrov A.S."},
                 {"PHONE", "", "OLNA"},
                 {"FAM_REG", "", "OLNA-12"},
                 {"DT_ZAP", "", "20261209 10:15:02"},
                 {"DATA_NAZ", "", "20261209 10:15:02"},
                 {"TEL", "0", "2"}}}};
  return e;
}

uint64_t SizeOf(const std::filesystem::path& folder) {
  uint64_t size = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) size += file.file_size();
  return size;
}

std::unique_ptr<AuditStore> OpenTrail(const std::filesystem::path& folder, bool file) {
  return file ? OpenAuditFile((folder / "audit.log").string())
              : OpenSqliteAuditStore((folder / "state.db").string());
}

// The bytes 10,000 booking entries take, measured once per kind of trail.
double BytesPer10000(bool file) {
  static std::map<bool, double> measured;
  if (auto it = measured.find(file); it != measured.end()) return it->second;
  const auto folder =
      std::filesystem::temp_directory_path() / ("vorel_bench_size_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  {
    auto store = OpenTrail(folder, file);
    for (size_t i = 0; i < kEntries; ++i) store->Append(BookingEntry(i));
  }  // the SQLite store folds its write-ahead log into the file on closing
  const double bytes = static_cast<double>(SizeOf(folder));
  std::filesystem::remove_all(folder);
  return measured[file] = bytes;
}

// The entry's append alone, flushed, to a trail that holds 1,000 entries. Argument: 0 = SQLite (the POSIX
// trail), 1 = the file of the Windows home.
void BM_AuditAppend(benchmark::State& state) {
  const bool file = state.range(0) != 0;
  state.counters["bytes_per_10000"] = BytesPer10000(file);
  const auto folder =
      std::filesystem::temp_directory_path() / ("vorel_bench_trail_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  auto store = OpenTrail(folder, file);
  size_t i = 0;
  for (; i < 1000; ++i) store->Append(BookingEntry(i));
  for (auto _ : state) store->Append(BookingEntry(i++));
  store.reset();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AuditAppend)
    ->ArgName("file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(3);

}  // namespace
}  // namespace vorel

BENCHMARK_MAIN();
