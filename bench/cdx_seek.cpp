// A 1,000,000-record m2401 with a structural index (slot key DTOC(dat,1)+tim+STR(kw,5), kl candidate, dat):
// one seek by slot key, one booking-sized UPDATE found by that key (index maintained, files flushed), next to
// a full scan of the same table in the same run. Each iteration opens the table afresh, as a statement does.
// The same seek and UPDATE as SQL statements (the executor finds the record through the slot tag) are
// measured next to the same statements with the index use switched off (a scan of every record).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dbf/byte_order.h"
#include "dbf/cdx_build.h"
#include "dbf/index_seek.h"
#include "dbf/table.h"
#include "platform/calendar.h"
#include "sql/executor.h"

namespace {

using namespace vorel::dbf;

constexpr uint32_t kRecords = 1'000'000;

class IndexedSlots {
 public:
  IndexedSlots() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorel_bench_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    const std::vector<FieldSpec> specs = {
        {"kw", FieldType::kNumeric, 5},         {"dat", FieldType::kDate},
        {"tim", FieldType::kCharacter, 5},      {"kl", FieldType::kNumeric, 10},
        {"fiol", FieldType::kCharacter, 40},    {"polis", FieldType::kCharacter, 16},
        {"ist_zap", FieldType::kCharacter, 10}, {"phone", FieldType::kCharacter, 15},
        {"dt_zap", FieldType::kDateTime},       {"ntal", FieldType::kNumeric, 5},
        {"tel", FieldType::kCharacter, 10}};
    std::filesystem::path path;
    {
      Table t = Table::Create(folder_, "m2401", specs);
      const TableLayout& layout = t.layout();
      std::string body(static_cast<size_t>(kRecords) * layout.recordLength, ' ');
      const int64_t first = vorel::JulianDayFromCivil(2020, 1, 1);
      const char* times[] = {"08:00", "08:30", "09:00", "09:30", "10:00"};
      for (uint32_t i = 0; i < kRecords; ++i) {
        std::span<char> r(body.data() + static_cast<size_t>(i) * layout.recordLength, layout.recordLength);
        for (const Field& f : layout.fields) EncodeBlank(f, r);
        // 200 doctors x 5 times a day, one slot per doctor and time per day.
        EncodeInteger(t.GetField("kw"), i % 200, r);
        EncodeText(t.GetField("tim"), times[(i / 200) % 5], r);
        EncodeDate(t.GetField("dat"), first + i / 1000, r);
        EncodeInteger(t.GetField("kl"), i, r);
      }
      std::string header(layout.headerLength, '\0');
      std::ifstream(t.path(), std::ios::binary).read(header.data(), layout.headerLength);
      StoreLe32(&header[4], kRecords);
      std::ofstream out(t.path(), std::ios::binary | std::ios::trunc);
      out.write(header.data(), header.size());
      out.write(body.data(), static_cast<std::streamsize>(body.size()));
      out.put(kEndOfFile);
    }
    Table t = Table::Open(folder_, "m2401");
    const std::vector<TagSpec> tags = {
        {"slot", "DTOC(dat,1)+tim+str(kw,5)"}, {"kl", "kl", "", true}, {"dat", "dat"}};
    CreateStructuralIndex(t, tags, BasicKeyExpressionCompiler());
  }
  ~IndexedSlots() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

const IndexedSlots& Slots() {
  static IndexedSlots slots;
  return slots;
}

KeyValue SlotKey(uint32_t recno) {
  // The slot of record recno (0-based i = recno - 1) as the bookings build it.
  const uint32_t i = recno - 1;
  const char* times[] = {"08:00", "08:30", "09:00", "09:30", "10:00"};
  const vorel::CivilDate d = vorel::CivilFromJulianDay(vorel::JulianDayFromCivil(2020, 1, 1) + i / 1000);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%s%5u", d.year, d.month, d.day, times[(i / 200) % 5], i % 200);
  KeyValue v;
  v.text = buf;
  return v;
}

void BM_SeekBySlotKey(benchmark::State& state) {
  const IndexedSlots& slots = Slots();
  uint32_t probe = 1;
  for (auto _ : state) {
    Table t = Table::Open(slots.folder(), "m2401");
    IndexReader index(t, BasicKeyExpressionCompiler());
    auto recnos = index.SeekEqual("slot", SlotKey(probe));
    if (recnos.size() != 1 || recnos[0] != probe) state.SkipWithError("seek found the wrong record");
    probe = probe * 7919 % kRecords + 1;
  }
}

void BM_UpdateBySlotKey(benchmark::State& state) {
  const IndexedSlots& slots = Slots();
  uint32_t probe = 12345;
  int64_t kl = 2'000'000;
  for (auto _ : state) {
    Table t = Table::Open(slots.folder(), "m2401");
    IndexReader index(t, BasicKeyExpressionCompiler());
    const auto recnos = index.SeekEqual("slot", SlotKey(probe));
    const Field& klField = t.GetField("kl");
    const Field& fiol = t.GetField("fiol");
    const Field& polis = t.GetField("polis");
    t.UpdateRecords(recnos, [&](uint32_t, std::string_view fresh, std::span<char> r) {
      EncodeInteger(klField, kl++, r);
      EncodeText(fiol, "IVANOV IVAN IVANOVICH", r);
      EncodeText(polis, "7700123456789012", r);
      return true;
    });
    probe = probe * 7919 % kRecords + 1;
  }
}

void BM_FullScanDecodingDate(benchmark::State& state) {
  const IndexedSlots& slots = Slots();
  for (auto _ : state) {
    Table t = Table::Open(slots.folder(), "m2401");
    const Field& dat = t.GetField("dat");
    int64_t sum = 0;
    TableScanner scan = t.Scan();
    RecordRef rec;
    while (scan.Next(rec)) sum += DecodeDate(dat, rec.bytes).value_or(0);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
}

std::string SlotLiteral(uint32_t recno) {
  return "'" + SlotKey(recno).text + "'";
}

vorel::sql::ExecutionOptions SqlOptions(const IndexedSlots& slots, bool useIndex) {
  vorel::sql::ExecutionOptions o;
  o.folder = slots.folder();
  o.collation = vorel::sql::Collation::kRussian;  // as the service connects
  o.now = vorel::LocalDateTime{2026, 12, 10, 14, 5, 30, 0};
  o.indexUse = useIndex ? vorel::sql::IndexUse::kAuto : vorel::sql::IndexUse::kNever;
  return o;
}

// Argument: 1 = through the index, 0 = scan.
void BM_SqlSelectBySlotKey(benchmark::State& state) {
  const IndexedSlots& slots = Slots();
  const auto options = SqlOptions(slots, state.range(0) != 0);
  uint32_t probe = 1;
  for (auto _ : state) {
    const auto outcome = vorel::sql::RunStatement(
        "select kw,kl,fiol,dat,tim from m2401 WHERE DTOC(dat,1)+tim+str(kw,5)=" + SlotLiteral(probe),
        options);
    if (outcome.rows.rowCount() != 1) state.SkipWithError("the statement found the wrong rows");
    probe = probe * 7919 % kRecords + 1;
  }
}

void BM_SqlUpdateBySlotKey(benchmark::State& state) {
  const IndexedSlots& slots = Slots();
  const auto options = SqlOptions(slots, state.range(0) != 0);
  uint32_t probe = 54321;
  int64_t kl = 3'000'000 + state.range(0) * 100'000;
  for (auto _ : state) {
    const auto outcome = vorel::sql::RunStatement(
        "UPDATE m2401 SET dt_zap=DATETIME(), phone='OLNA', fiol='IVANOV IVAN IVANOVICH', kl=" +
            std::to_string(kl++) + " WHERE DTOC(dat,1)+tim+str(kw,5)=" + SlotLiteral(probe),
        options);
    if (outcome.rowsAffected != 1) state.SkipWithError("the statement changed the wrong rows");
    probe = probe * 7919 % kRecords + 1;
  }
}

BENCHMARK(BM_SqlSelectBySlotKey)->ArgName("index")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlUpdateBySlotKey)->ArgName("index")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekBySlotKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateBySlotKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullScanDecodingDate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
