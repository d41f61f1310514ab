#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "database/connection.h"
#include "database/query.h"
#include "exchange/exchange_state.h"
#include "platform/audit_store.h"
#include "platform/clock.h"
#include "platform/http_client_factory.h"
#include "platform/logger.h"
#include "platform/regional.h"
#include "platform/state_store.h"
#include "service/message_loop.h"
#include "service/service_report.h"
#include "service/settings_list.h"
#include "service/state_store_logger.h"

// The service module: one object for the life of the process that owns the components, the settings list,
// the state store handle and the service-wide state, and handles the service's start, stop and timer tick.
namespace vorel {

class ServiceExchange;
class AuditPruner;

// What the module takes from its platform. Empty parts get the platform's own: the state store at
// StateStoreLocation() with the status record beside it and the lines for the system's log, the system
// clock, the system regional settings, ProgramFolder(), a real sleep. A given store comes without status
// record and log lines unless they are given too.
struct ServiceEnvironment {
  std::function<std::unique_ptr<StateStore>()> openStateStore;
  std::optional<StatusRecordPaths> status;
  ServiceReport::EventSink reportEvent;
  const Clock* clock = nullptr;
  RegionalSettings regional = SystemRegionalSettings();
  std::function<std::string()> programFolder;
  StateStoreLogger::Sleep sleep;
  HttpClientOptions http;  // of the component `Client`
  // The audit trail; empty: the platform's when the store is the platform's, else none.
  std::function<std::unique_ptr<AuditStore>()> openAuditStore;
};

class TVorelService {
 public:
  static constexpr std::chrono::milliseconds kTimer1Interval{3000};

  // Creates the components; Timer1 runs from here on, its ticks delivered by `loop`.
  explicit TVorelService(MessageLoop& loop, ServiceEnvironment environment = {});
  ~TVorelService();
  TVorelService(const TVorelService&) = delete;
  TVorelService& operator=(const TVorelService&) = delete;

  // --- Components ---
  // `Timer1` here; the database connection `ADO`, the query object `SQL` and the HTTP client `Client` at
  // the end of the class, after the clock and regional settings they are built with.
  Timer Timer1;

  // --- Service-wide state ---
  std::atomic<int32_t> stopFlag{0};  // 1 ends the main loop; written by the control thread too
  ExchangeState exchange;            // main thread, once ServiceStart has finished
  SettingsList settings;             // "path", "id", "pass", then the proxy values

  // The store opened by ServiceStart; fails with vorel::Error before.
  StateStore& stateStore();
  // Log and SetError over the store; fail with vorel::Error before ServiceStart.
  Logger& logger();
  void Log(std::string_view channel, std::string_view message) { logger().Log(channel, message); }
  void SetError(int32_t code, std::string_view message) { logger().SetError(code, message); }

  const Clock& clock() const { return *clock_; }
  const RegionalSettings& regional() const { return environment_.regional; }
  // The date-time text of every moment written to the store.
  std::string DateTimeNow() const { return DateTimeText(*clock_, environment_.regional); }

  // Control thread. Takes the lock of a running service, opens the store, writes the start values, fills
  // the settings list and resets the state the main loop starts from; a failure passes to the caller.
  // `started` arrives true and stays so.
  void ServiceStart(bool& started);
  // Control thread. Raises the stop flag, breaks off a request in progress, writes "service_stop".
  void ServiceStop(bool& stopped);
  // Main thread, at each tick of Timer1.
  void Timer1Timer();

  // Whether ServiceStart has run to its end.
  bool StartFinished() const { return startFinished_.load(std::memory_order_acquire); }

 private:
  // The main loop, entered from the first tick once the service has started; it returns when a stop is
  // requested (after failures it waits and sets up again by itself).
  void RunMainLoop();
  // Breaks off a request of `Client` in progress.
  void DisconnectClient();

  ServiceEnvironment environment_;
  SystemClock systemClock_;
  const Clock* clock_;
  std::unique_ptr<StateStore> stateStore_;
  std::unique_ptr<AuditStore> auditStore_;  // opened by ServiceStart; none when it cannot be opened
  std::unique_ptr<AuditPruner> auditPruner_;
  std::unique_ptr<StateStoreLogger> logger_;
  ServiceReport report_;
  std::unique_ptr<Logger> reportingLogger_;  // logger_ with every error record reported
  std::atomic<bool> startFinished_{false};
  std::string portalHost_;  // read at ServiceStart
  std::string updateHost_;
  std::unique_ptr<ServiceExchange> exchangeRun_;  // what the main loop runs on, built at its entry

  void OpenAuditTrail();

 public:
  Connection ADO{"ADO"};
  Query SQL;
  std::unique_ptr<HttpClient> Client;
};

}  // namespace vorel
