// The free-slot statement and the busy-slot statement over an appointment table of 1,000,000 records, next to
// SQLite running the equivalent queries over the same rows in an in-memory table (full scan, no index) and a
// plain sequential read() of the table file, all in the same run. Also the Table XML rendering of the
// free-slot export (about 100,000 free slots in its window) next to the query alone, and the rendering alone
// of the free-slot and busy-slot results, and the compression of the free-slot text for the portal.
//
// The grid covers 160 days, 6,250 slots a day, today in the middle of it: the 16-day window holds 100,000
// slots, nine in ten of them free and offered to the portal.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_doubles.h"
#include "database/database_context.h"
#include "database/exports.h"
#include "database/run_query.h"
#include "database/table_xml.h"
#include "dbf/byte_order.h"
#include "dbf/table.h"
#include "exchange/compress_text.h"
#include "platform/calendar.h"
#include "sql/executor.h"
#include "support/fake_clock.h"

namespace {

using namespace vorel;

// VOREL_BENCH_RECORDS overrides the size (smaller tables for profiling under valgrind).
const uint32_t kRecords = [] {
  const char* n = std::getenv("VOREL_BENCH_RECORDS");
  return n ? static_cast<uint32_t>(std::strtoul(n, nullptr, 10)) : uint32_t{1'000'000};
}();
constexpr uint32_t kSlotsPerDay = 6'250;
constexpr int kToday[3] = {2026, 12, 7};

const char kFreeSlot[] =
    "select dat,tim,kw FROM m2401 where trim(tim)<>'' and (dat>=DATE()) and (dat<=DATE()+15) and (kl<1) and "
    "(allt(fiol)='') and (ist_zap like '%2%')";
const char kBusySlot[] =
    "select dat,tim,kw,kl,polis FROM m2401 where (dat>=DATE()) and (dat<=DATE()+15) and ((kl>0) or "
    "(trim(polis)<>'')) ORDER by kw,dat,tim";

struct Slot {
  int kw;
  int64_t day;
  std::string tim, fiol, polis, istZap;
  int kl;
};

Slot SlotOf(uint32_t i, int64_t firstDay) {
  Slot s;
  uint32_t inDay = i % kSlotsPerDay;
  s.kw = static_cast<int>(1000 + inDay / 25);
  s.day = firstDay + i / kSlotsPerDay;
  int minutes = 8 * 60 + static_cast<int>(inDay % 25) * 20;
  char tim[8];
  std::snprintf(tim, sizeof tim, "%02d:%02d", minutes / 60, minutes % 60);
  s.tim = tim;
  bool busy = i % 10 == 3;
  s.kl = busy ? static_cast<int>(100000 + i % 50000) : 0;
  s.fiol = busy ? "IVANOV IVAN IVANOVICH" : "";
  s.polis = busy && i % 20 == 3 ? "7700123456789012" : "";
  s.istZap = i % 7 == 5 ? "1" : "12";
  return s;
}

class Fixture {
 public:
  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorel_bench_sql_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    using FT = dbf::FieldType;
    const std::vector<dbf::FieldSpec> specs = {
        {"kw", FT::kNumeric, 5},         {"dat", FT::kDate},
        {"tim", FT::kCharacter, 5},      {"kl", FT::kNumeric, 10},
        {"polis", FT::kCharacter, 20},   {"fiol", FT::kCharacter, 30},
        {"ist_zap", FT::kCharacter, 10}, {"filtr", FT::kCharacter, 10},
        {"phone", FT::kCharacter, 20},   {"fam_reg", FT::kCharacter, 20},
        {"dt_zap", FT::kDateTime},       {"data_naz", FT::kDateTime},
        {"ntal", FT::kNumeric, 5},       {"tel", FT::kNumeric, 3}};
    dbf::Table t = dbf::Table::Create(folder_, "m2401", specs);
    const dbf::TableLayout& layout = t.layout();
    const size_t length = layout.recordLength;
    const int64_t firstDay = JulianDayFromCivil(kToday[0], kToday[1], kToday[2]) -
                             static_cast<int64_t>(kRecords / kSlotsPerDay / 2);
    std::string body(static_cast<size_t>(kRecords) * length, ' ');
    for (uint32_t i = 0; i < kRecords; ++i) {
      std::span<char> r(body.data() + static_cast<size_t>(i) * length, length);
      for (const dbf::Field& f : layout.fields) dbf::EncodeBlank(f, r);
      Slot s = SlotOf(i, firstDay);
      dbf::EncodeInteger(t.GetField("kw"), s.kw, r);
      dbf::EncodeDate(t.GetField("dat"), s.day, r);
      dbf::EncodeText(t.GetField("tim"), s.tim, r);
      dbf::EncodeInteger(t.GetField("kl"), s.kl, r);
      dbf::EncodeText(t.GetField("fiol"), s.fiol, r);
      dbf::EncodeText(t.GetField("polis"), s.polis, r);
      dbf::EncodeText(t.GetField("ist_zap"), s.istZap, r);
    }
    file_ = t.path();
    std::string header(layout.headerLength, '\0');
    std::ifstream(file_, std::ios::binary).read(header.data(), layout.headerLength);
    dbf::StoreLe32(&header[4], kRecords);
    std::ofstream out(file_, std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.put(dbf::kEndOfFile);
    out.close();

    // The same rows in SQLite, texts blank-padded as the table holds them, dates as Julian day numbers.
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite open");
    Exec(
        "create table m2401 (kw integer, dat integer, tim text, kl integer, polis text, fiol text, ist_zap "
        "text, "
        "filtr text, phone text, fam_reg text, dt_zap integer, data_naz integer, ntal integer, tel integer)");
    Exec("begin");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db_, "insert into m2401 values (?,?,?,?,?,?,?,'','','',0,0,0,0)", -1, &insert,
                       nullptr);
    auto pad = [](std::string s, size_t n) {
      s.resize(n, ' ');
      return s;
    };
    for (uint32_t i = 0; i < kRecords; ++i) {
      Slot s = SlotOf(i, firstDay);
      sqlite3_bind_int(insert, 1, s.kw);
      sqlite3_bind_int64(insert, 2, s.day);
      std::string tim = pad(s.tim, 5), polis = pad(s.polis, 20), fiol = pad(s.fiol, 30),
                  ist = pad(s.istZap, 10);
      sqlite3_bind_text(insert, 3, tim.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 4, s.kl);
      sqlite3_bind_text(insert, 5, polis.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 6, fiol.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 7, ist.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("commit");
  }
  ~Fixture() {
    sqlite3_close(db_);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message);
    }
  }

  sql::ExecutionOptions Options() const {
    sql::ExecutionOptions o;
    o.folder = folder_;
    o.collation = sql::Collation::kRussian;
    o.now = LocalDateTime{kToday[0], kToday[1], kToday[2], 12, 0, 0, 0};
    return o;
  }

  // Runs a SQLite query and reads every column of every row; returns the row count.
  size_t SqliteRows(const char* query) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, query, -1, &stmt, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    const int64_t today = JulianDayFromCivil(kToday[0], kToday[1], kToday[2]);
    sqlite3_bind_int64(stmt, 1, today);
    sqlite3_bind_int64(stmt, 2, today + 15);
    size_t rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c)
        benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
      ++rows;
    }
    sqlite3_finalize(stmt);
    return rows;
  }

  std::filesystem::path folder_;
  std::filesystem::path file_;
  sqlite3* db_ = nullptr;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_FreeSlot_Engine(benchmark::State& state) {
  Fixture& f = Shared();
  size_t rows = 0;
  for (auto _ : state) rows = sql::RunStatement(kFreeSlot, f.Options()).rows.rowCount();
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_FreeSlot_Sqlite(benchmark::State& state) {
  Fixture& f = Shared();
  size_t rows = 0;
  for (auto _ : state) {
    rows = f.SqliteRows(
        "select dat,tim,kw from m2401 where rtrim(tim)<>'' and dat>=?1 and dat<=?2 and kl<1 and "
        "trim(fiol)='' and "
        "ist_zap like '%2%'");
  }
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_BusySlot_Engine(benchmark::State& state) {
  Fixture& f = Shared();
  size_t rows = 0;
  for (auto _ : state) rows = sql::RunStatement(kBusySlot, f.Options()).rows.rowCount();
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_BusySlot_Sqlite(benchmark::State& state) {
  Fixture& f = Shared();
  size_t rows = 0;
  for (auto _ : state) {
    rows = f.SqliteRows(
        "select dat,tim,kw,kl,polis from m2401 where dat>=?1 and dat<=?2 and (kl>0 or rtrim(polis)<>'') "
        "order by kw,dat,tim");
  }
  state.counters["rows"] = static_cast<double>(rows);
}

// The floor: every byte of the table file read sequentially through one reused 1 MB buffer.
void BM_PlainRead(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    int fd = ::open(f.file_.c_str(), O_RDONLY);
    size_t total = 0;
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<size_t>(n);
    ::close(fd);
    benchmark::DoNotOptimize(total);
  }
}

// The table layer's own floor: every record handed out by the scanner, nothing evaluated.
void BM_ScanOnly(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    dbf::Table t = dbf::Table::Open(f.folder_, "m2401");
    dbf::TableScanner scanner = t.Scan();
    dbf::RecordRef rec;
    size_t live = 0;
    while (scanner.Next(rec)) live += rec.deleted ? 0 : 1;
    benchmark::DoNotOptimize(live);
  }
}

// The busy-slot condition alone over the whole table with no row selected: scan plus condition tests.
void BM_ConditionOnly_Engine(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        sql::RunStatement("select kw FROM m2401 where (dat>=DATE()+1000) and (dat<=DATE()+1015)", f.Options())
            .rows.rowCount());
  }
}

// A database context over the benchmark table, today fixed to the middle of its grid.
struct ExportContext {
  explicit ExportContext(const Fixture& f) {
    clock.Set(testing::FakeClock::At(kToday[0], kToday[1], kToday[2], 12, 0, 0));
    ADO.SetConnectionString(ClinicConnectionString(f.folder_));
  }
  testing::FakeClock clock;
  RegionalSettings regional;
  Connection ADO;
  Query SQL{ADO, clock, regional};
  DatabaseContext ctx{ADO, SQL, DroppingLogger(), clock, regional};
};

// The free-slot export as the portal gets it: the query plus the Table XML text of its rows.
void BM_FreeSlot_RenderTableXml(benchmark::State& state) {
  ExportContext e(Shared());
  size_t bytes = 0;
  for (auto _ : state) bytes = FreeSlotExport(e.ctx).size();
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The Table XML text alone of a result run once before timing starts.
void RenderOnly(benchmark::State& state, const char* statement) {
  ExportContext e(Shared());
  e.ADO.Connect();
  RunQuery(e.ctx, statement);
  size_t bytes = 0;
  for (auto _ : state) bytes = RenderResultXml(e.SQL, "nomer", e.regional).size();
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
void BM_FreeSlot_RenderOnly(benchmark::State& state) {
  RenderOnly(state, kFreeSlot);
}
void BM_BusySlot_RenderOnly(benchmark::State& state) {
  RenderOnly(state, kBusySlot);
}

// The free-slot export's text compressed as it goes to the portal (rendered once before timing starts).
void BM_FreeSlot_Compress(benchmark::State& state) {
  ExportContext e(Shared());
  const std::string text = FreeSlotExport(e.ctx);
  size_t bytes = 0;
  for (auto _ : state) bytes = CompressText(text).size();
  state.counters["compressed"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConditionOnly_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeSlot_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeSlot_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BusySlot_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BusySlot_Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeSlot_RenderTableXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeSlot_RenderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BusySlot_RenderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreeSlot_Compress)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
