#pragma once

#include <string>

#include "booking/patient_cache.h"
#include "database/database_context.h"
#include "platform/http_client.h"
#include "platform/state_store.h"

namespace vorel {

// The program version the configuration request reports.
inline constexpr const char* kPatientConfigVersion = "620";

// What the patient load works with. `portalHost` is the portal's built-in host (vorel::build::kPortalHost)
// or the state-store value "portal_host" when that is set; the load never follows "server_url".
struct PatientLoadContext {
  DatabaseContext& db;
  PatientCache& cache;
  HttpClient& client;
  StateStore& store;
  std::string portalHost;
};

// The address of the configuration script that gives the column list of the load.
std::string PatientConfigUrl(const std::string& portalHost);

// Asks the portal for the column list: POSTs the form field "version" = "620". Returns the reply body
// unchanged; a failed request throws (HttpError and its kinds).
std::string RequestPatientColumnList(HttpClient& client, const std::string& portalHost);

// Replaces the cache contents with every patient of m1005 that has a policy number and a positive id,
// logging each step on channel "system"; writes "user_cnt" and "reload_user"; sets the time of last load.
// Failures of the request, of single rows and of the load itself are logged and end the load; none passes
// on. (An exception thrown by the logger itself does.)
void LoadPatientCache(PatientLoadContext& ctx);

// Command load_user: "user load", then the load.
std::string RunLoadUserCommand(PatientLoadContext& ctx);

}  // namespace vorel
