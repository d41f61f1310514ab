// An update of every record of an unindexed appointment table (no structural-index flag, so each record
// has two lock bytes, VFP's and FoxPro 2.x's) of 10,000, 100,000 and 1,000,000 records: with the whole table
// locked once, as the engine does past a record count, against a lock per record in the same run (only at
// 10,000 and 20,000 records: the lock list grows with every record and the time with the square of the
// count). Also the same update as an UPDATE statement. Each run is one whole statement, journal included.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "dbf/byte_order.h"
#include "dbf/table.h"
#include "sql/executor.h"

namespace {

using namespace vorel;

class SlotTable {
 public:
  explicit SlotTable(uint32_t records) : records_(records) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorel_bench_update_XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    using FT = dbf::FieldType;
    const std::vector<dbf::FieldSpec> specs = {{"kw", FT::kNumeric, 5},      {"dat", FT::kDate},
                                               {"tim", FT::kCharacter, 5},   {"kl", FT::kNumeric, 10},
                                               {"fiol", FT::kCharacter, 40}, {"polis", FT::kCharacter, 16}};
    dbf::Table t = dbf::Table::Create(folder_, "m2401", specs);
    const dbf::TableLayout& layout = t.layout();
    // Written in one go: appending the records one by one would only measure the set-up.
    std::string body(static_cast<size_t>(records) * layout.recordLength, ' ');
    for (uint32_t i = 0; i < records; ++i) {
      std::span<char> r(body.data() + static_cast<size_t>(i) * layout.recordLength, layout.recordLength);
      for (const dbf::Field& f : layout.fields) dbf::EncodeBlank(f, r);
      dbf::EncodeInteger(t.GetField("kw"), i % 400, r);
    }
    std::string header(layout.headerLength, '\0');
    std::ifstream(t.path(), std::ios::binary).read(header.data(), layout.headerLength);
    dbf::StoreLe32(&header[4], records);
    std::ofstream out(t.path(), std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.put(dbf::kEndOfFile);
  }
  ~SlotTable() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  size_t Update(size_t tableLockPast) {
    dbf::TableOptions options;
    options.tableLockPast = tableLockPast;
    dbf::Table t = dbf::Table::Open(folder_, "m2401", options);
    std::vector<uint32_t> all(records_);
    std::iota(all.begin(), all.end(), 1u);
    const dbf::Field& kl = t.GetField("kl");
    return t.UpdateRecords(all, [&](uint32_t, std::string_view fresh, std::span<char> changed) {
      dbf::EncodeNumber(kl, dbf::DecodeNumeric(kl, fresh).value + 1, changed);
      return true;
    });
  }
  int64_t UpdateStatement() {
    sql::ExecutionOptions o;
    o.folder = folder_;
    return sql::RunStatement("update m2401 set kl = kl + 1", o).rowsAffected;
  }

 private:
  uint32_t records_;
  std::filesystem::path folder_;
};

SlotTable& Table(uint32_t records) {
  static std::map<uint32_t, std::unique_ptr<SlotTable>> tables;
  auto& t = tables[records];
  if (!t) t = std::make_unique<SlotTable>(records);
  return *t;
}

void BM_Update_TableLock(benchmark::State& state) {
  SlotTable& t = Table(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(t.Update(dbf::TableOptions().tableLockPast));
}

void BM_Update_RecordLocks(benchmark::State& state) {
  SlotTable& t = Table(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(t.Update(SIZE_MAX));
}

void BM_UpdateStatement(benchmark::State& state) {
  SlotTable& t = Table(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(t.UpdateStatement());
}

void Settings(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_Update_RecordLocks)->Arg(10'000)->Arg(20'000)->Apply(Settings);
BENCHMARK(BM_Update_TableLock)->Arg(10'000)->Arg(20'000)->Arg(100'000)->Arg(1'000'000)->Apply(Settings);
BENCHMARK(BM_UpdateStatement)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Apply(Settings);

}  // namespace

BENCHMARK_MAIN();
