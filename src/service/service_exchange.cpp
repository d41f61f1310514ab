#include "service/service_exchange.h"

#include "booking/booking_commands.h"
#include "booking/patient_admin_query.h"
#include "booking/user_lookup.h"
#include "exchange/clinic_access_database.h"
#include "exchange/dispatch_reply.h"
#include "exchange/main_loop.h"
#include "platform/service_host.h"

namespace vorel {

ServiceExchange::ServiceExchange(ServiceExchangeParts parts)
    : parts_(std::move(parts)),
      audit_(parts_.audit, parts_.logger, parts_.clock),
      db_{parts_.ado, parts_.sql, audit_, parts_.clock, parts_.regional},
      load_{db_, cache_, parts_.client, parts_.store, parts_.portalHost},
      booking_{db_, cache_, parts_.store, parts_.state.lastScheduleAge, parts_.state.busySlotsFlag},
      admin_{parts_.client,        launcher_,
             parts_.clock,         "",
             parts_.programFolder, parts_.stateStoreFolder,
             parts_.updateHost,    parts_.unitName,
             parts_.updateFolder},
      clinic_(ClinicAccessFor(db_)),
      ctx_{parts_.state,    audit_,    parts_.store, parts_.settings,
           parts_.client,   clinic_,   parts_.clock, parts_.regional,
           parts_.stopFlag, commands_, cacheHooks_,  parts_.portalHost} {
  ctx_.hooks = parts_.hooks;
  ctx_.audit = &audit_;
  audit_.onFailure = parts_.auditFailed;
  parts_.ado.SetWriteObserver(&audit_);
  // The service manager's watchdog hears the same signs of life as the status record.
  ctx_.hooks.alive = [status = parts_.hooks.alive] {
    Notify(status);
    NotifyServiceAlive();
  };
  cacheHooks_.patientCount = [this] { return cache_.count(); };
  cacheHooks_.timeOfLastLoad = [this] { return cache_.timeOfLastLoad; };
  cacheHooks_.resetTimeOfLastLoad = [this] { cache_.timeOfLastLoad = Clock::TimePoint{}; };
  cacheHooks_.load = [this] { LoadPatientCache(load_); };
  BindCommands();
}

ServiceExchange::~ServiceExchange() {
  parts_.ado.SetWriteObserver(nullptr);
}

void ServiceExchange::BindCommands() {
  BindExchangeCommands(ctx_);  // nomer, get_spec, get_grup, post_spec, post_nomer, adm_sql, ...
  commands_.Bind("load_user", [this](const ReplyFields&) {
    parts_.state.pendingAnswer = "user load";  // the answer stands before the load runs
    return RunLoadUserCommand(load_);
  });
  commands_.Bind("user", [this](const ReplyFields& f) {
    return RunUserCommand(cache_, f, parts_.logger, parts_.clock);
  });
  commands_.Bind("zapis", [this](const ReplyFields& f) { return RunBookingCommand(booking_, f); });
  commands_.Bind("zapis2", [this](const ReplyFields& f) { return RunPolicyBookingCommand(booking_, f); });
  commands_.Bind("delrec", [this](const ReplyFields& f) { return RunCancellationCommand(booking_, f); });
  commands_.Bind("delrec2",
                 [this](const ReplyFields& f) { return RunPolicyCancellationCommand(booking_, f); });
  commands_.Bind("adm_user", [this](const ReplyFields& f) { return RunAdminUserCommand(db_, cache_, f); });
  commands_.Bind("adm_polis", [this](const ReplyFields& f) { return RunAdminPolicyCommand(db_, cache_, f); });
  // adm_info reports the database folder as it stands in the settings list.
  commands_.Bind("adm_info", [this](const ReplyFields&) {
    admin_.databasePath = parts_.settings.Get("path");
    return AdminInfo(admin_);
  });
  commands_.Bind("adm_update", [this](const ReplyFields&) { return AdminUpdate(admin_); });
  commands_.Bind("adm_restart", [this](const ReplyFields&) { return AdminRestart(admin_); });
}

void ServiceExchange::RunMainLoop() {
  vorel::RunMainLoop(ctx_);
}

}  // namespace vorel
