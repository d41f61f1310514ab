#include <exception>

#include "booking/booking_commands.h"
#include "booking/booking_steps.h"
#include "booking/text_trim.h"

namespace vorel {
namespace {

constexpr std::string_view kChannel = "zapis";

}  // namespace

std::string RunPolicyBookingCommand(BookingContext& ctx, const ReplyFields& fields) {
  auto log = [&](std::string_view message) { ctx.db.log.Log(kChannel, "#2 " + std::string(message)); };
  const std::string fam(TrimText(fields[2]));
  const std::string polis(TrimText(fields[3]));
  const std::string& klField = fields[8];

  if (klField != "0") {
    log("User id is not 0");
    return {};
  }
  if (fam.empty()) {
    log("No user fam");
    return {};
  }
  if (polis.empty()) {
    log("No user polis");
    return {};
  }

  return RunSlotBooking(ctx, fields, log, [&](const SlotFields&) {
    const auto polisLiteral = TextLiteral(polis);
    if (!polisLiteral) throw ReplyFieldError("Invalid field 3 (policy number)");
    const auto nameLiteral = TextLiteral("*" + fam);
    if (!nameLiteral) throw ReplyFieldError("Invalid field 2 (surname)");
    SlotBooking booking;
    booking.limitStatement = "select kw,dat,tim from m2401 WHERE polis=" + *polisLiteral + " AND DATE()<=dat";
    booking.limitOwner = klField;
    booking.setList = "dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', polis=" + *polisLiteral +
                      ", fam_reg='OLNA', fiol=" + *nameLiteral + ",kl=0,tel=2";
    booking.confirmColumns = ",polis";
    // The database gives polis blank-filled to its width; the booking wrote the trimmed number.
    booking.confirms = [polis](const Query& q) { return TrimRightText(q.FieldText("polis")) == polis; };
    return booking;
  });
}

}  // namespace vorel
