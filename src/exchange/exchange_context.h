#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "exchange/command_audit.h"
#include "exchange/command_table.h"
#include "exchange/exchange_state.h"
#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/logger.h"
#include "platform/regional.h"
#include "platform/state_store.h"

// Everything the poll cycle, the dispatcher and the main loop work with, handed in by the service module so
// that each piece can also run in a test with a temporary table folder, state store and HTTP server.
namespace vorel {

// The in-memory settings list ("path", "id", "pass", the proxy values); an absent name reads as empty text.
class SettingsAccess {
 public:
  virtual ~SettingsAccess() = default;
  virtual std::string Get(std::string_view name) const = 0;
  virtual void Set(std::string_view name, std::string_view value) = 0;
};

// What the exchange needs from the clinic database. Each export returns Table XML; a failure throws.
struct ClinicAccess {
  // Sets the connection string, connects and disconnects again; throws when any of the three fails.
  std::function<void(const std::string& connectionString)> testConnection;
  std::function<std::string()> specExport;
  std::function<std::string()> freeSlotExport;
  std::function<std::string()> groupListExport;
  std::function<std::string(const std::string& tableName, const std::string& statement)> renderTableXml;
  std::function<std::string(const std::string& daysBack, const std::string& daysForward)> dateWindowView;
  std::function<std::string(const std::string& patientId)> patientView;
};

// The patient cache as the poll cycle sees it; without `load` the reload step is left out.
struct PatientCacheHooks {
  std::function<int32_t()> patientCount;
  std::function<Clock::TimePoint()> timeOfLastLoad;
  std::function<void()> resetTimeOfLastLoad;  // to zero: the next cycle reloads
  std::function<void()> load;                 // LoadPatientCache
};

// Waits of the main loop after failures; a stop request ends each at once.
struct MainLoopTiming {
  std::chrono::milliseconds postRetryFirst{1000};  // after a failed POST, doubled after each further one
  std::chrono::milliseconds postRetryMax{60000};
  std::chrono::milliseconds recoveryFirst{3000};  // after a failed pass or database test, doubled likewise
  std::chrono::milliseconds recoveryMax{300000};
  std::chrono::milliseconds stopCheck{20};  // how often a wait looks at the stop flag
};

// What the main loop reports as it goes, for the status record, the journal and the service manager's
// watchdog. Every hook may be left empty.
struct MainLoopHooks {
  std::function<void()> alive;                   // each pass, and about once a second of a wait
  std::function<void(bool answered)> passEnded;  // a pass ran through; whether the portal answered
  std::function<void(const std::string& failure)> databaseTested;  // empty when the tables opened
  // The kind and message of the failure of a pass or a command, just before its error record is written.
  std::function<void(const std::string& reason)> failed;
};

// Calls a hook when it is set.
template <typename Hook, typename... Args>
void Notify(const Hook& hook, Args&&... args) {
  if (hook) hook(std::forward<Args>(args)...);
}

struct ExchangeContext {
  ExchangeState& state;
  Logger& logger;
  StateStore& store;
  SettingsAccess& settings;
  HttpClient& client;
  ClinicAccess& clinic;
  const Clock& clock;
  const RegionalSettings& regional;
  std::atomic<int32_t>& stopFlag;  // 1: stop requested
  CommandTable& commands;
  PatientCacheHooks& patientCache;
  std::string portalHost;  // host of the built-in request address
  MainLoopTiming timing{};
  MainLoopHooks hooks{};
  CommandAudit* audit = nullptr;  // records the commands that change the clinic's tables

  bool StopRequested() const { return stopFlag.load() == 1; }
};

}  // namespace vorel
