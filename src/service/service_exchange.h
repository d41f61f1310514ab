#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "booking/booking_context.h"
#include "booking/patient_cache.h"
#include "booking/patient_load.h"
#include "database/database_context.h"
#include "exchange/admin_commands.h"
#include "exchange/command_audit.h"
#include "exchange/exchange_context.h"
#include "platform/process.h"
#include "service/settings_list.h"

// Everything the main loop runs on, put together over the service module's components: the database
// context over `ADO` and `SQL`, the Patient cache, the command table with every command bound, and the
// exchange context.
namespace vorel {

struct ServiceExchangeParts {
  ExchangeState& state;
  Logger& logger;
  StateStore& store;
  SettingsList& settings;
  HttpClient& client;
  Connection& ado;
  Query& sql;
  const Clock& clock;
  const RegionalSettings& regional;
  std::atomic<int32_t>& stopFlag;
  std::string portalHost;
  std::string updateHost;
  std::string programFolder;
  std::string stateStoreFolder;
  MainLoopHooks hooks;
  std::string unitName;         // the unit the restart and update scripts stop and start
  std::string updateFolder;     // where adm_update puts the new program; empty: the program folder
  AuditStore* audit = nullptr;  // the audit trail of the commands that change the tables; nullptr: none
  std::function<void(const std::string&)> auditFailed{};  // an entry could not be written
};

class ServiceExchange {
 public:
  explicit ServiceExchange(ServiceExchangeParts parts);
  ~ServiceExchange();
  ServiceExchange(const ServiceExchange&) = delete;
  ServiceExchange& operator=(const ServiceExchange&) = delete;

  // The main loop; returns when a stop is requested.
  void RunMainLoop();

  ExchangeContext& context() { return ctx_; }
  PatientCache& patientCache() { return cache_; }
  CommandTable& commands() { return commands_; }

 private:
  void BindCommands();

  ServiceExchangeParts parts_;
  CommandAudit audit_;  // the logger of everything below, so that a command's lines reach its entry
  DatabaseContext db_;
  PatientCache cache_;
  PatientLoadContext load_;
  BookingContext booking_;
  SystemProcessLauncher launcher_;
  AdminContext admin_;
  ClinicAccess clinic_;
  PatientCacheHooks cacheHooks_;
  CommandTable commands_;
  ExchangeContext ctx_;
};

}  // namespace vorel
