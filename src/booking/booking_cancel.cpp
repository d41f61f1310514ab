#include <exception>

#include "booking/booking_commands.h"
#include "booking/field_checks.h"
#include "database/run_query.h"

namespace vorel {
namespace {

constexpr std::string_view kChannel = "delete";

// Checks fields 4 (slot number), 5 (date) and 6 (time) of a cancellation; the time as a literal. Returns
// the log text naming a bad field, or nullptr.
const char* CheckSlotFields(const ReplyFields& fields, std::optional<std::string>& timeLiteral) {
  timeLiteral = TextLiteral(fields[6]);
  if (!ParseWholeNumber(fields[4])) return "Invalid field 4 (slot number)";
  if (!IsEightDigits(fields[5])) return "Invalid field 5 (date)";
  if (!timeLiteral) return "Invalid field 6 (time)";
  return nullptr;
}

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
  try {
    const auto id = ParseWholeNumber(klField);
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
    std::optional<std::string> timeLiteral;
    if (const char* bad = CheckSlotFields(fields, timeLiteral)) {
      log(bad);
    } else {
      const std::string statement =
          "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=" + fields[4] +
          " AND DTOS(dat)='" + fields[5] + "' AND kl=" + klField + " AND tim=" + *timeLiteral;
      log(statement);
      ExecuteStatement(db, statement);
      log("ok");
      answer = "ok";
    }
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
    std::optional<std::string> timeLiteral;
    const char* bad = CheckSlotFields(fields, timeLiteral);
    const auto polisLiteral = TextLiteral(fields[3]);
    if (!bad && !polisLiteral) bad = "Invalid field 3 (policy number)";
    if (bad) {
      log("#2 " + std::string(bad));
    } else {
      const std::string statement =
          "UPDATE m2401 SET fiol='', polis='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=" + fields[4] +
          " AND DTOS(dat)='" + fields[5] + "' AND polis=" + *polisLiteral + " AND tim=" + *timeLiteral;
      log("#2" + statement);
      ExecuteStatement(db, statement);
      log("#2 ok");
      answer = "ok";
    }
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
