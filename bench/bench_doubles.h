#pragma once

// What the booking benchmarks run on besides the tables: a logger that drops every line, a state store
// whose "record_cnt" is always 0, and the database and booking contexts over a table folder.
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
