#pragma once

#include "database/connection.h"
#include "database/query.h"
#include "platform/clock.h"
#include "platform/logger.h"
#include "platform/regional.h"

// What every user of the clinic database works with: the connection `ADO`, the one query object `SQL`, the
// logs, the clock and the regional settings. The service module owns one for the life of the process; tests
// build their own over a temporary table folder.
namespace vorel {

struct DatabaseContext {
  Connection& ADO;
  Query& SQL;
  Logger& log;
  const Clock& clock;
  const RegionalSettings& regional;
  Clock::TimePoint queryTimeMark{};  // set by RunQuery when a query starts
};

}  // namespace vorel
