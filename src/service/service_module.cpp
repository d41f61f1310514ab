#include "service/service_module.h"

#include "exchange/request_address.h"
#include "platform/code_page.h"
#include "platform/program_location.h"
#include "platform/state_store_factory.h"
#include "service/service_exchange.h"
#include "service/service_identity.h"

namespace vorel {
namespace {

constexpr AnsiText kNotFound("Не обнаружено");

}  // namespace

TVorelService::TVorelService(MessageLoop& loop, ServiceEnvironment environment)
    : Timer1(loop, kTimer1Interval, [this] { Timer1Timer(); }),
      environment_(std::move(environment)),
      clock_(environment_.clock ? environment_.clock : &systemClock_),
      SQL(ADO, *clock_, environment_.regional),
      Client(CreateHttpClient(environment_.http)) {
  if (!environment_.openStateStore) environment_.openStateStore = [] { return OpenStateStore(); };
  if (!environment_.programFolder) environment_.programFolder = [] { return ProgramFolder(); };
  if (!environment_.sleep) environment_.sleep = StateStoreLogger::SleepThisThread;
}

TVorelService::~TVorelService() = default;

StateStore& TVorelService::stateStore() {
  if (!stateStore_) throw Error("The state store is not open");
  return *stateStore_;
}

Logger& TVorelService::logger() {
  if (!logger_) throw Error("The state store is not open");
  return *logger_;
}

void TVorelService::ServiceStart(bool& started) {
  stopFlag.store(0);

  stateStore_ = environment_.openStateStore();
  logger_ = std::make_unique<StateStoreLogger>(*stateStore_, *clock_, environment_.regional,
                                               exchange.timeOfLastRequest, environment_.sleep);
  StateStore& store = *stateStore_;

  store.Write("version", kServiceVersion);
  store.Write("service_start", DateTimeNow());
  store.Write("service_path", environment_.programFolder());
  store.Write("critical_error", kNotFound);
  store.Write("error", "");
  store.Write("error_time", "");
  store.Write("error_msg", kNotFound);
  for (const char* name : {"reload_spec", "reload_rasp", "record_sysf"}) store.Write(name, "");
  store.Write("record_cnt", "0");
  for (const char* name : {"record_time", "query_in", "query_out", "query_time", "log_global"}) {
    store.Write(name, "");
  }

  settings = SettingsList{};
  for (const char* name : {"path", "id", "pass"}) settings.Set(name, store.Read(name));

  const std::string serverUrl = store.Read("server_url");
  if (!serverUrl.empty()) exchange.serverAddressOverride = serverUrl;
  portalHost_ = PortalHost(store);
  updateHost_ = UpdateHost(store);
  exchange.pendingAnswer = "pong";
  exchange.timeOfLastRequest = clock_->Now();

  started = true;
  // Publishes everything above to the main thread, whose first tick waits for it.
  startFinished_.store(true, std::memory_order_release);
}

void TVorelService::ServiceStop(bool& stopped) {
  stopFlag.store(1);
  DisconnectClient();
  stateStore().Write("service_stop", DateTimeNow());
  stopped = true;
}

void TVorelService::Timer1Timer() {
  // A tick before ServiceStart has finished leaves the timer running: the next tick tries again.
  if (!StartFinished()) return;
  Timer1.SetEnabled(false);
  RunMainLoop();
}

void TVorelService::RunMainLoop() {
  exchangeRun_.reset();
  exchangeRun_ = std::make_unique<ServiceExchange>(ServiceExchangeParts{
      exchange, logger(), stateStore(), settings, *Client, ADO, SQL, *clock_, environment_.regional, stopFlag,
      portalHost_, updateHost_, environment_.programFolder(), StateStoreFolder()});
  exchangeRun_->RunMainLoop();
}

void TVorelService::DisconnectClient() {
  Client->Disconnect();
}

}  // namespace vorel
