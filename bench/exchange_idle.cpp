// The idle service: CPU time of the service process per poll cycle against the portal simulator, which
// answers every request at once with "1" (goal: under 2 ms), and its resident memory (goal: under 20 MB).
// Baseline in the same run: the same number of bare POSTs of an equal-sized form with the same HTTP client,
// i.e. the transport alone.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/http_client_factory.h"
#include "platform/multipart_body.h"

namespace {

using namespace std::chrono_literals;

struct Child {
  pid_t pid = -1;
  ~Child() { Stop(); }
  void Stop() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }
};

// Starts a program with its output in `log`.
pid_t Spawn(const std::vector<std::string>& args, const std::string& log, const std::string& stateFile = "") {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!stateFile.empty()) setenv("VOREL_STATE", stateFile.c_str(), 1);
    freopen(log.c_str(), "w", stdout);
    freopen(log.c_str(), "a", stderr);
    freopen("/dev/null", "r", stdin);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Run(const std::vector<std::string>& args, const std::string& stateFile) {
  const pid_t pid = Spawn(args, "/dev/null", stateFile);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// CPU seconds (user + system) of a process.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;
  long utime = 0, stime = 0;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ResidentMegabytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("VmRSS:")) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

struct Setup {
  std::string dir;
  std::string portalUrl;
  Child portal;
  Child service;
  std::unique_ptr<vorel::HttpClient> client = vorel::CreateHttpClient();

  Setup() {
    char tmpl[] = "/tmp/vorel_bench_idle_XXXXXX";
    dir = mkdtemp(tmpl);
    const std::string build = VOREL_BUILD_DIR;
    if (Run({build + "/vorel_sample_clinic", dir + "/clinic"}, "") != 0)
      throw std::runtime_error("sample clinic");
    portal.pid = Spawn({build + "/vorel_portal", "--hold-ms", "0", "--quiet"}, dir + "/portal.log");
    for (int i = 0; i < 200 && portalUrl.empty(); ++i) {
      std::this_thread::sleep_for(10ms);
      std::ifstream in(dir + "/portal.log");
      std::string line;
      if (std::getline(in, line) && line.starts_with("PORTAL_URL=")) portalUrl = line.substr(11);
    }
    if (portalUrl.empty()) throw std::runtime_error("the simulator did not start");
    const std::string state = dir + "/state.db";
    const std::string hostPort = portalUrl.substr(7, portalUrl.size() - 8);
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"path", dir + "/clinic"},
                                      {"id", "15"},
                                      {"pass", "bench"},
                                      {"portal_host", hostPort}}) {
      Run({build + "/vorel_service", "state", "set", name, value}, state);
    }
    service.pid = Spawn({build + "/vorel_service"}, dir + "/service.log", state);
  }
  ~Setup() {
    service.Stop();
    portal.Stop();
    std::filesystem::remove_all(dir);
  }

  long Requests() {
    const std::string stats = client->Get(portalUrl + "api/stats");
    return std::stol(stats.substr(stats.find('=') + 1));
  }
};

// One iteration: the service's CPU time over one second of idle cycles, divided by their number.
void BM_IdleServiceCycle(benchmark::State& state) {
  Setup setup;
  // Past the first cycles (exports, patient cache load) into the idle rhythm.
  for (int waited = 0; setup.Requests() < 50; ++waited) {
    if (waited > 600) {
      state.SkipWithError("the service does not poll the simulator");
      return;
    }
    std::this_thread::sleep_for(50ms);
  }
  double cpuPerCycleMs = 0;
  for (auto _ : state) {
    const long requests0 = setup.Requests();
    const double cpu0 = CpuSeconds(setup.service.pid);
    std::this_thread::sleep_for(1s);
    const long cycles = setup.Requests() - requests0;
    const double cpu = CpuSeconds(setup.service.pid) - cpu0;
    cpuPerCycleMs = cycles > 0 ? cpu * 1000.0 / static_cast<double>(cycles) : 0;
    state.SetIterationTime(cycles > 0 ? cpu / static_cast<double>(cycles) : 0);
    state.counters["cycles_per_s"] = static_cast<double>(cycles);
  }
  state.counters["service_cpu_ms_per_cycle"] = cpuPerCycleMs;
  state.counters["service_rss_MB"] = ResidentMegabytes(setup.service.pid);
}
BENCHMARK(BM_IdleServiceCycle)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Baseline: one bare POST of an idle cycle's form (version and soft) to the simulator, this process's CPU.
void BM_BarePost(benchmark::State& state) {
  Setup setup;
  vorel::MultipartForm form;
  form.Add("version", "620");
  form.Add("soft", "1234567890");
  const std::string boundary = vorel::ChooseBoundary(form);
  const std::string body = vorel::EncodeMultipartBody(form, boundary);
  const std::string type = vorel::MultipartContentType(boundary);
  const std::string url = setup.portalUrl + "medic/server.php?id=1&pass=x";
  setup.service.Stop();  // the simulator serves this process alone
  for (auto _ : state) benchmark::DoNotOptimize(setup.client->Post(url, type, body));
}
BENCHMARK(BM_BarePost)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
