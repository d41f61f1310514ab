// Cost of the rolling logs on the SQLite state store: every Log call reads and rewrites whole values of
// about 100 KB (twice for a channel other than "global"). Baseline: one plain write of such a value.
#include <benchmark/benchmark.h>

#include "platform/regional.h"
#include "platform/state_store_factory.h"
#include "service/state_store_logger.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace {

using namespace vorel;

struct Fixture {
  testing::TempFolder dir{"bench_state"};
  std::unique_ptr<EditableStateStore> store = OpenStateStore(dir / "state.db");
  testing::FakeClock clock;
  Clock::TimePoint lastRequest = clock.Now();
  StateStoreLogger logger{*store, clock, SystemRegionalSettings(), lastRequest, [](auto) {}};

  // Logs full of lines of different lengths: a line appended at the cut shifts every page of the value.
  Fixture() {
    std::string log;
    for (int i = 0; log.size() < kLogKeep; ++i) log += "12:00:00 [" + std::to_string(i * 37) + "] line\r\n";
    log.resize(kLogKeep);
    store->Write("log_system", log);
    store->Write("log_global", log);
  }
};

// Two values of the same length and different content in turn, so that every write changes every page,
// as a log at its cut does.
void BM_WriteFullValue(benchmark::State& state) {
  Fixture f;
  const std::string values[2] = {std::string(kLogKeep, 'v'), std::string(kLogKeep, 'w')};
  int i = 0;
  for (auto _ : state) f.store->Write("log_sql", values[i++ & 1]);
}

// The same with a length that changes at each write: SQLite then frees and allocates overflow pages.
void BM_WriteFullValueNewLength(benchmark::State& state) {
  Fixture f;
  const std::string values[2] = {std::string(kLogKeep, 'v'), std::string(kLogKeep + 20, 'w')};
  int i = 0;
  for (auto _ : state) f.store->Write("log_sql", values[i++ & 1]);
}
BENCHMARK(BM_WriteFullValueNewLength);
BENCHMARK(BM_WriteFullValue);

void BM_ReadFullValue(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.store->Read("log_global"));
}
BENCHMARK(BM_ReadFullValue);

void BM_LogGlobal(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) f.logger.Log("global", "POST size: 123456");
}
BENCHMARK(BM_LogGlobal);

void BM_LogChannel(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) f.logger.Log("system", "POST size: 123456");
}
BENCHMARK(BM_LogChannel);

}  // namespace

BENCHMARK_MAIN();
