#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "booking/booking_context.h"

// Steps the two bookings share: the limit check, the slot lookup with its busy test, the conditional write,
// and what a written booking changes around it.
namespace vorel {

// Added to the WHERE clause of a booking's UPDATE: the database re-checks, on the record under its lock, that
// the slot is still free (kl 0 and a blank fiol), so a booking the reception desk made after the busy test
// is never overwritten.
inline constexpr std::string_view kFreeSlotCondition = " AND kl=0 AND fiol==''";

// "select kw,kl,fiol,dat,tim,filtr" + extraColumns + " from m2401 WHERE DTOC(dat,1)+tim+str(kw,5)=" + key.
std::string SlotStatement(const std::string& keyLiteral, std::string_view extraColumns = {});

// Runs the limit query and walks its rows: the first appointment later than now gives its slot number and
// moment text (date text, a blank, time text, each trimmed). Throws when the rows cannot be read.
struct FutureAppointment {
  std::string kw;
  std::string momentText;
};
std::optional<FutureAppointment> FindFutureAppointment(DatabaseContext& db, std::string_view statement);

// The slot lookup and the busy test on its first row.
enum class SlotState { kMissing, kFree, kBusy };
struct SlotLook {
  SlotState state = SlotState::kMissing;
  std::string busyText;  // trim(kl + " fiol:" + fiol), as the busy line shows it
};
SlotLook LookUpSlot(DatabaseContext& db, const std::string& keyLiteral);

// After a booking was written: the next request resends the free and taken slots.
void MarkScheduleChanged(BookingContext& ctx);
// "record_time" = now; "record_cnt" + 1 (throws when "record_cnt" is not a number; "record_time" stays).
void CountBooking(BookingContext& ctx);

}  // namespace vorel
