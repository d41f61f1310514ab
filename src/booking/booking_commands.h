#pragma once

#include <string>

#include "booking/booking_context.h"
#include "booking/patient_record.h"
#include "booking/reply_fields.h"

// The portal's booking and cancellation commands. Each takes the reply fields and returns the answer:
// empty (the patient or a field was refused before the database was touched), "0" (a failure after the
// connection was opened, a field that cannot go into a statement included), "2" (no such slot), "3" (slot
// taken), "5" (refused by the limit, or the confirmation does not show the booking), "ok". A connection
// that cannot be opened throws to the dispatcher. Lines go to channel "zapis" or "delete".
namespace vorel {

// zapis: book slot (field 4 number, field 5 yyyymmdd, field 6 time) for cached patient field 8; field 7 tel.
std::string RunBookingCommand(BookingContext& ctx, const ReplyFields& fields);
// zapis2: book by surname (field 2) and policy number (field 3); field 8 must be "0".
std::string RunPolicyBookingCommand(BookingContext& ctx, const ReplyFields& fields);
// delrec: free the slot (fields 4, 5, 6) booked for cached patient field 7.
std::string RunCancellationCommand(BookingContext& ctx, const ReplyFields& fields);
// delrec2: free the slot (fields 4, 5, 6) booked under policy number field 3 (field 2 must be set).
std::string RunPolicyCancellationCommand(BookingContext& ctx, const ReplyFields& fields);

// The name a booking writes into fiol: "Петров А.С." from the cached петров, А, С.
std::string PatientNameText(const pac_rec& patient);

}  // namespace vorel
