#include <exception>
#include <optional>
#include <stdexcept>

#include "booking/booking_commands.h"
#include "booking/booking_steps.h"
#include "booking/field_checks.h"
#include "booking/slot_key.h"
#include "database/reply_integer.h"
#include "platform/code_page.h"

namespace vorel {
namespace {

constexpr std::string_view kChannel = "zapis";

}  // namespace

std::string PatientNameText(const pac_rec& patient) {
  const std::string_view fiol = patient.fiol;
  std::string name;
  if (!fiol.empty()) {
    name += ToUpperAnsi(fiol.front());
    name += ToLowerAnsi(fiol.substr(1));
  }
  name += ' ';
  name += patient.imText();
  name += '.';
  name += patient.otText();
  name += '.';
  return name;
}

std::string RunBookingCommand(BookingContext& ctx, const ReplyFields& fields) {
  auto log = [&](std::string_view message) { ctx.db.log.Log(kChannel, message); };
  const std::string& klField = fields[8];

  if (klField.empty()) {
    log("User is null");
    return {};
  }
  std::string name;
  int32_t id = 0;
  try {
    const auto parsed = ParseReplyInteger(klField);
    if (!parsed) throw std::invalid_argument("not an integer");
    id = *parsed;
    if (const pac_rec* patient = ctx.cache.FindPatientById(id)) {
      if (patient->fiol.empty()) throw std::invalid_argument("empty surname");
      name = PatientNameText(*patient);
    }
  } catch (const std::exception&) {
    log("Error user search");
    return {};
  }
  if (name.empty()) {
    log("No user login");
    return {};
  }

  // The id goes into the statements as the number it is ("012" books patient 12).
  const std::string idText = std::to_string(id);
  return RunSlotBooking(ctx, fields, log, [&](const SlotFields& slot) {
    const auto tel = fields[7].empty() ? std::optional<int32_t>(2) : ParseReplyInteger(fields[7]);
    if (!tel) throw ReplyFieldError("Invalid field 7 (tel)");
    const auto nameLiteral = TextLiteral(name);
    if (!nameLiteral) throw ReplyFieldError("Invalid patient name");
    const SlotBlock block = SlotBlockOf(slot.kw);
    SlotBooking booking;
    booking.limitStatement = "select kw,dat,tim from m2401 WHERE kl=" + idText +
                             " AND DATE()<=dat AND kw>=" + std::to_string(block.first) +
                             " AND kw<=" + std::to_string(block.last);
    booking.limitOwner = klField;
    booking.setList = "dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', fam_reg='OLNA-" + idText +
                      "', fiol=" + *nameLiteral + ",kl=" + idText + ",tel=" + std::to_string(*tel);
    booking.confirms = [id](const Query& q) {
      const sql::Value kl = q.FieldValue("kl");
      return kl.kind == sql::ValueKind::kNumber && kl.number == static_cast<double>(id);
    };
    return booking;
  });
}

}  // namespace vorel
