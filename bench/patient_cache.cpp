// Patient cache at the size of a large register: the load of 1,000,000 patients from m1005 next to a plain
// read of the same file, one login lookup and one lookup by id through the indexes, next to the linear scans
// they replace, and the memory the cache holds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench_doubles.h"
#include "booking/patient_load.h"
#include "database/connection.h"
#include "database/query.h"
#include "plain_read.h"
#include "platform/regional.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

// VOREL_BENCH_PATIENTS overrides the size (smaller registers for profiling under valgrind).
const size_t kPatients = [] {
  const char* n = std::getenv("VOREL_BENCH_PATIENTS");
  return n ? static_cast<size_t>(std::strtoull(n, nullptr, 10)) : size_t{1'000'000};
}();

class NoPortal : public HttpClient {
 public:
  std::string Post(const std::string&, const std::string&, const std::string&) override {
    throw HttpConnectError("no portal in the benchmark");
  }
  std::string Get(const std::string&) override { throw HttpConnectError("no portal in the benchmark"); }
  ProxySettings& proxy() override { return proxy_; }
  void Disconnect() override {}

 private:
  ProxySettings proxy_;
};

class MemoryStore : public StateStore {
 public:
  std::string Read(std::string_view) override { return {}; }
  void Write(std::string_view, std::string_view) override {}
};

std::string Surname(size_t i) {
  return "fam" + std::to_string(i % 50'000);
}
std::string Policy(size_t i) {
  return std::to_string(7'700'000'000ull + i);
}

int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// The most resident memory the process has held since the last ResetPeakResident (VmHWM).
void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}
int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  int64_t kb = 0;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> kb;
      break;
    }
  }
  return kb * 1024;
}

// One register on disk and one loaded cache for the whole program.
struct Register {
  Register() {
    folder = std::filesystem::temp_directory_path() / ("vorel_bench_patients_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    testing_support::WriteM1005(folder, kPatients, [](size_t i) {
      return testing_support::PatientRow{
          Policy(i),
          static_cast<int64_t>(i + 1),
          "  " + Surname(i) + " ",
          "ivan",
          "petrovich",
          "12",
          static_cast<int64_t>(i % 70'000),
          static_cast<int64_t>(i % 300),
          CivilDate{1970 + static_cast<int>(i % 50), 1 + static_cast<int>(i % 12),
                    1 + static_cast<int>(i % 28)}};
    });
    ado.SetConnectionString(ClinicConnectionString(folder));
  }
  ~Register() { std::filesystem::remove_all(folder); }
  void Load(PatientCache& cache) {
    PatientLoadContext ctx{db, cache, portal, store, "127.0.0.1:9"};
    LoadPatientCache(ctx);
  }

  std::filesystem::path folder;
  NullLogger log;
  SystemClock clock;
  RegionalSettings regional;
  Connection ado;
  Query sql{ado, clock, regional};
  DatabaseContext db{ado, sql, log, clock, regional};
  NoPortal portal;
  MemoryStore store;
};

Register& TheRegister() {
  static Register r;
  return r;
}

PatientCache& LoadedCache() {
  static PatientCache cache = [] {
    PatientCache c;
    TheRegister().Load(c);
    return c;
  }();
  return cache;
}

void BM_LoadPatientCache(benchmark::State& state) {
  Register& reg = TheRegister();
  const int64_t before = ResidentBytes();
  int64_t loadStart = 0;
  std::unique_ptr<PatientCache> cache;
  for (auto _ : state) {
    state.PauseTiming();
    cache = std::make_unique<PatientCache>();
    ResetPeakResident();
    loadStart = ResidentBytes();
    state.ResumeTiming();
    reg.Load(*cache);
  }
  if (cache->count() != static_cast<int32_t>(kPatients)) state.SkipWithError("not every patient was loaded");
  state.counters["patients"] = cache->count();
  state.counters["cache_MB"] = static_cast<double>(cache->HeldBytes()) / 1e6;
  state.counters["rss_growth_MB"] = static_cast<double>(ResidentBytes() - before) / 1e6;
  // The most the load held at once, its statement's rows included.
  state.counters["peak_growth_MB"] = static_cast<double>(PeakResidentBytes() - loadStart) / 1e6;
}
BENCHMARK(BM_LoadPatientCache)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// The floor: the register's file read whole.
void BM_PlainRead(benchmark::State& state) {
  const std::filesystem::path file = TheRegister().folder / "m1005.dbf";
  std::vector<char> buffer;
  for (auto _ : state) benchmark::DoNotOptimize(ReadWholeFile(file, buffer));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Repetitions(5);

// Baseline: the load query alone, as the database layer runs it, without filling the cache.
void BM_LoadQueryOnly(benchmark::State& state) {
  Register& reg = TheRegister();
  for (auto _ : state) {
    reg.ado.Connect();
    reg.sql.Close();
    reg.sql.Lines() = {"select " + std::string(kDefaultPatientColumnList) +
                       " from m1005 where npol<>'' and kl>0"};
    reg.sql.Open();
    benchmark::DoNotOptimize(reg.sql.RecordCount());
    reg.sql.Close();
    reg.ado.Disconnect();
  }
}
BENCHMARK(BM_LoadQueryOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_LoginLookupIndexed(benchmark::State& state) {
  const PatientCache& cache = LoadedCache();
  size_t i = 0;
  for (auto _ : state) {
    const size_t n = (i++ * 7919) % kPatients;
    benchmark::DoNotOptimize(cache.FindPatientsByNameAndPolicy(Surname(n), Policy(n)));
  }
}
BENCHMARK(BM_LoginLookupIndexed)->Unit(benchmark::kMicrosecond);

void BM_LoginLookupScan(benchmark::State& state) {
  const PatientCache& cache = LoadedCache();
  size_t i = 0;
  for (auto _ : state) {
    const size_t n = (i++ * 7919) % kPatients;
    benchmark::DoNotOptimize(cache.ScanPatientsByNameAndPolicy(Surname(n), Policy(n)));
  }
}
BENCHMARK(BM_LoginLookupScan)->Unit(benchmark::kMicrosecond);

void BM_LookupByIdIndexed(benchmark::State& state) {
  const PatientCache& cache = LoadedCache();
  int32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache.FindPatientById(1 + (i++ * 7919) % static_cast<int32_t>(kPatients)));
  }
}
BENCHMARK(BM_LookupByIdIndexed)->Unit(benchmark::kMicrosecond);

void BM_LookupByIdScan(benchmark::State& state) {
  const PatientCache& cache = LoadedCache();
  int32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache.ScanPatientById(1 + (i++ * 7919) % static_cast<int32_t>(kPatients)));
  }
}
BENCHMARK(BM_LookupByIdScan)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vorel

BENCHMARK_MAIN();
