#include <exception>
#include <optional>
#include <stdexcept>

#include "booking/booking_commands.h"
#include "booking/field_checks.h"
#include "database/reply_integer.h"
#include "database/run_query.h"

namespace vorel {
namespace {

constexpr std::string_view kChannel = "delete";

}  // namespace

std::string RunCancellationCommand(BookingContext& ctx, const ReplyFields& fields) {
  DatabaseContext& db = ctx.db;
  auto log = [&](std::string_view message) { db.log.Log(kChannel, message); };
  const std::string& klField = fields[7];
  if (klField.empty()) {
    log("User is null");
    return {};
  }
  std::string fam;
  std::optional<int32_t> id;
  try {
    id = ParseReplyInteger(klField);
    if (!id) throw std::invalid_argument("not an integer");
    if (const pac_rec* patient = ctx.cache.FindPatientById(*id)) fam = std::string(patient->fiol.view());
  } catch (const std::exception&) {
    log("Error user search");
    return {};
  }
  if (fam.empty()) {
    log("No user login");
    return {};
  }

  db.ADO.Connect();
  std::string answer = "0";
  try {
    const SlotFields slot = ReadSlotFields(fields);
    const std::string statement =
        "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=" + slot.kwText +
        " AND DTOS(dat)='" + slot.date + "' AND kl=" + std::to_string(*id) + " AND tim=" + slot.timeLiteral;
    log(statement);
    ExecuteStatement(db, statement);
    log("ok");
    answer = "ok";
  } catch (const ReplyFieldError& e) {
    log(e.what());
  } catch (const std::exception&) {
    log("error");
    answer = "0";
  }
  ctx.lastScheduleAge = 0;
  ctx.busySlotsFlag = 1;
  db.ADO.Disconnect();
  return answer;
}

std::string RunPolicyCancellationCommand(BookingContext& ctx, const ReplyFields& fields) {
  DatabaseContext& db = ctx.db;
  auto log = [&](std::string_view message) { db.log.Log(kChannel, message); };
  if (fields[2].empty()) {
    log("#2 Fam is null");
    return {};
  }
  if (fields[3].empty()) {
    log("#2 Polis is null");
    return {};
  }

  db.ADO.Connect();
  std::string answer = "0";
  try {
    const SlotFields slot = ReadSlotFields(fields);
    const auto polisLiteral = TextLiteral(fields[3]);
    if (!polisLiteral) throw ReplyFieldError("Invalid field 3 (policy number)");
    const std::string statement =
        "UPDATE m2401 SET fiol='', polis='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=" + slot.kwText +
        " AND DTOS(dat)='" + slot.date + "' AND polis=" + *polisLiteral + " AND tim=" + slot.timeLiteral;
    log("#2" + statement);
    ExecuteStatement(db, statement);
    log("#2 ok");
    answer = "ok";
  } catch (const ReplyFieldError& e) {
    log("#2 " + std::string(e.what()));
  } catch (const std::exception&) {
    log("#2 error");
    answer = "0";
  }
  ctx.lastScheduleAge = 0;
  ctx.busySlotsFlag = 1;
  db.ADO.Disconnect();
  return answer;
}

}  // namespace vorel
