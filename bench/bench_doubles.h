#pragma once

// What the booking benchmarks run on besides the tables: a logger that drops every line, a state store
// whose "record_cnt" is always 0, the clinic's connection string, one registered patient, and the database
// and booking contexts over a table folder.
#include <filesystem>
#include <string>
#include <string_view>

#include "booking/booking_context.h"
#include "booking/patient_cache.h"
#include "database/connection.h"
#include "database/database_context.h"
#include "database/query.h"
#include "platform/regional.h"

namespace vorel {

class NullLogger : public Logger {
 public:
  void Log(std::string_view, std::string_view) override {}
  void SetError(int32_t, std::string_view) override {}
};

class ZeroStateStore : public StateStore {
 public:
  std::string Read(std::string_view) override { return "0"; }
  void Write(std::string_view, std::string_view) override {}
};

// The connection string of a clinic whose tables lie in `folder`, as the service is set up.
inline std::string ClinicConnectionString(const std::filesystem::path& folder) {
  return "Provider=VFPOLEDB;Data Source=" + folder.string() +
         ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN";
}

// The one registered patient the booking benchmarks book for: id 12, surname petrov, policy 123.
inline void KeepOnePatient(PatientCache& cache) {
  cache.BeginLoad();
  pac_rec& p = cache.PrepareSlot(1);
  p.kl = 12;
  p.fiol = cache.Keep("petrov");
  p.npol = cache.Keep("123");
  cache.CommitSlot(1);
  cache.FinishLoad(1);
}

inline Logger& DroppingLogger() {
  static NullLogger logger;
  return logger;
}

// The connection `ADO` and the query `SQL` with the contexts of a booking over them; the connection string
// is the owner's to set.
struct BookingDesk {
  explicit BookingDesk(Logger& logger = DroppingLogger()) : log(logger) {}
  Logger& log;
  SystemClock clock;
  RegionalSettings regional;
  Connection ado;
  Query sql{ado, clock, regional};
  DatabaseContext db{ado, sql, log, clock, regional};
  PatientCache cache;
  ZeroStateStore store;
  int32_t scheduleAge = 0;
  int32_t busyFlag = 0;
  BookingContext ctx{db, cache, store, scheduleAge, busyFlag};
};

}  // namespace vorel
