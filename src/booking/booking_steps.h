#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "booking/booking_context.h"
#include "booking/field_checks.h"
#include "booking/reply_fields.h"

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

// What one kind of booking puts into the steps both kinds share.
struct SlotBooking {
  std::string limitStatement;       // the query of the one-future-appointment limit
  std::string limitOwner;           // who the limit line names: "user-" + it + " have nom: ..."
  std::string setList;              // what the UPDATE sets, "dt_zap=DATETIME(), ..."
  std::string_view confirmColumns;  // columns the confirmation reads besides the slot statement's own
  std::function<bool(const Query&)> confirms;  // whether the re-read slot shows this booking
};
using BookingLog = std::function<void(std::string_view)>;

// A booking from its slot fields to its count, over the connection it opens and closes again: reads the
// slot fields, lets `prepare` check the rest and describe the booking, then the limit check, the slot lookup
// and busy test, the conditional UPDATE (a slot taken meanwhile answers "3"), the confirmation read and the
// count. A refused field is logged and answers "0", as every other failure inside does.
std::string RunSlotBooking(BookingContext& ctx, const ReplyFields& fields, const BookingLog& log,
                           const std::function<SlotBooking(const SlotFields&)>& prepare);
// "record_time" = now; "record_cnt" + 1 (throws when "record_cnt" is not a number; "record_time" stays).
void CountBooking(BookingContext& ctx);

}  // namespace vorel
