#include "service/service_module.h"

#include "exchange/request_address.h"
#include "platform/code_page.h"
#include "platform/path_text.h"
#include "platform/program_file.h"
#include "platform/program_location.h"
#include "platform/service_events.h"
#include "platform/state_store_factory.h"
#include "service/audit_pruner.h"
#include "service/service_exchange.h"
#include "service/service_identity.h"

namespace vorel {
namespace {

constexpr AnsiText kNotFound("Не обнаружено");

// The platform's store comes with its status record and the system's log of services.
ServiceEnvironment WithPlatformDefaults(ServiceEnvironment environment) {
  if (!environment.openStateStore) {
    environment.openStateStore = [] { return OpenStateStore(); };
    if (!environment.openAuditStore) environment.openAuditStore = [] { return OpenPlatformAuditStore(); };
    if (!environment.status) environment.status = PlatformStatusRecordPaths();
    if (!environment.reportEvent) {
      environment.reportEvent = [](EventPriority priority, std::string_view message) {
        ReportServiceEvent(VorelServiceIdentity(), priority, message);
      };
    }
  }
  if (!environment.programFolder) environment.programFolder = [] { return ProgramFolder(); };
  if (!environment.sleep) environment.sleep = StateStoreLogger::SleepThisThread;
  return environment;
}

}  // namespace

TVorelService::TVorelService(MessageLoop& loop, ServiceEnvironment environment)
    : Timer1(loop, kTimer1Interval, [this] { Timer1Timer(); }),
      environment_(WithPlatformDefaults(std::move(environment))),
      clock_(environment_.clock ? environment_.clock : &systemClock_),
      report_(environment_.status, *clock_, environment_.reportEvent),
      SQL(ADO, *clock_, environment_.regional),
      Client(CreateHttpClient(environment_.http)) {}

// What the main loop ran on goes first: it refers to the components, which are declared last.
TVorelService::~TVorelService() {
  exchangeRun_.reset();
}

StateStore& TVorelService::stateStore() {
  if (!stateStore_) throw Error("The state store is not open");
  return *stateStore_;
}

Logger& TVorelService::logger() {
  if (!reportingLogger_) throw Error("The state store is not open");
  return *reportingLogger_;
}

void TVorelService::ServiceStart(bool& started) {
  stopFlag.store(0);
  stateStore_ = environment_.openStateStore();
  // Before anything is written: a second process on the same store must not overwrite the first's values.
  report_.Acquire();
  logger_ = std::make_unique<StateStoreLogger>(*stateStore_, *clock_, environment_.regional,
                                               exchange.timeOfLastRequest, environment_.sleep);
  reportingLogger_ = report_.ReportingLogger(*logger_);
  StateStore& store = *stateStore_;

  store.Write("version", kServiceVersion);
  store.Write("service_start", DateTimeNow());
  store.Write("service_path", NarrowPathText(environment_.programFolder()));
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
  const bool configured =
      !settings.Get("path").empty() && !settings.Get("id").empty() && !settings.Get("pass").empty();
  report_.Started(store, settings.Get("path"), PortalAddress(exchange.serverAddressOverride, portalHost_),
                  configured);
  OpenAuditTrail();

  started = true;
  // Publishes everything above to the main thread, whose first tick waits for it.
  startFinished_.store(true, std::memory_order_release);
}

// The service runs without its audit trail rather than not at all; the journal and "log_system" say why.
void TVorelService::OpenAuditTrail() {
  auditPruner_.reset();
  auditStore_.reset();
  if (!environment_.openAuditStore) return;
  try {
    auditStore_ = environment_.openAuditStore();
  } catch (const std::exception& e) {
    const std::string message = std::string("the audit trail cannot be opened: ") + e.what();
    logger_->Log("system", message);
    report_.Warning(message);
    return;
  }
  auditPruner_ = std::make_unique<AuditPruner>(
      *auditStore_, *clock_, AuditDays(stateStore_->Read("audit_days")), [this](const std::string& failure) {
        report_.Warning("the audit trail cannot be pruned: " + failure);
      });
}

void TVorelService::ServiceStop(bool& stopped) {
  stopFlag.store(1);
  DisconnectClient();
  report_.Stopped();
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
      portalHost_, updateHost_, environment_.programFolder(), StateStoreFolder(), report_.Hooks(),
      ServiceUnitName(VorelServiceIdentity()), UpdateFolder(), auditStore_.get(),
      [this](const std::string& failure) { report_.Warning(failure); }});
  exchangeRun_->RunMainLoop();
}

void TVorelService::DisconnectClient() {
  Client->Disconnect();
}

}  // namespace vorel
