#pragma once

#include <cstdint>
#include <string_view>

#include "platform/clock.h"
#include "platform/error.h"
#include "sql/value.h"

// When an appointment slot begins, computed from the slot's date value and its time text ("hh:mm") rather
// than by reading a date text back, so the result does not depend on the regional date format.
namespace vorel {

VOREL_DEFINE_ERROR(SlotMomentError, Error);

// Local milliseconds since 1970-01-01 00:00 of the slot's date and time. A blank time is midnight; a time
// that is not hours ':' minutes (optionally ':' seconds), or a value that is not a date, throws
// SlotMomentError.
int64_t SlotMoment(const sql::Value& date, std::string_view time);

// The same measure of a local date-time.
int64_t LocalMoment(const LocalDateTime& t);

}  // namespace vorel
