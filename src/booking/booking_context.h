#pragma once

#include <cstdint>

#include "booking/patient_cache.h"
#include "database/database_context.h"
#include "platform/state_store.h"

namespace vorel {

// What the bookings and cancellations work with: the database (with its logs, clock and regional settings),
// the Patient cache, the state store ("record_time", "record_cnt") and the two poll cycle values that make
// the next request resend the free-slot and taken-slot exports.
struct BookingContext {
  DatabaseContext& db;
  const PatientCache& cache;
  StateStore& store;
  int32_t& lastScheduleAge;  // set to 0: the next request sends "nomer"
  int32_t& busySlotsFlag;    // set to 1: the next request sends "busynom"
};

}  // namespace vorel
