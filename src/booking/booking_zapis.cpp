#include <exception>
#include <optional>

#include "booking/booking_commands.h"
#include "booking/booking_steps.h"
#include "booking/field_checks.h"
#include "booking/slot_key.h"
#include "database/run_query.h"
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
  DatabaseContext& db = ctx.db;
  auto log = [&](std::string_view message) { db.log.Log(kChannel, message); };
  const std::string& kwField = fields[4];
  const std::string& dateField = fields[5];
  const std::string& timeField = fields[6];
  const std::string& klField = fields[8];

  if (klField.empty()) {
    log("User is null");
    return {};
  }
  std::string name;
  int32_t id = 0;
  try {
    const auto parsed = ParseWholeNumber(klField);
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

  std::string status = "0";
  db.ADO.Connect();
  const std::string tel = fields[7].empty() ? std::string("2") : fields[7];
  // A refusal inside the block answers with its own code; everything else ends with the booking status.
  auto finish = [&](std::string answer) {
    db.ADO.Disconnect();
    return answer;
  };
  try {
    // Every field that goes into a statement is checked before the first one runs.
    const auto kw = ParseWholeNumber(kwField);
    const std::string key = BuildSlotKey(kwField, dateField, timeField);
    const auto keyLiteral = TextLiteral(key);
    const auto nameLiteral = TextLiteral(name);
    const char* bad = !kw                         ? "Invalid field 4 (slot number)"
                      : !IsEightDigits(dateField) ? "Invalid field 5 (date)"
                      : !keyLiteral               ? "Invalid field 6 (time)"
                      : !ParseWholeNumber(tel)    ? "Invalid field 7 (tel)"
                      : !nameLiteral              ? "Invalid patient name"
                                                  : nullptr;
    if (bad) {
      log(bad);
      return finish(status);
    }
    const SlotBlock block = SlotBlockOf(*kw);
    const std::string limit = "select kw,dat,tim from m2401 WHERE kl=" + klField +
                              " AND DATE()<=dat AND kw>=" + std::to_string(block.first) +
                              " AND kw<=" + std::to_string(block.last);
    if (const auto future = FindFutureAppointment(db, limit)) {
      log("user-" + klField + " have nom: " + future->kw + " " + future->momentText);
      return finish("5");
    }
    SlotLook slot = LookUpSlot(db, *keyLiteral);
    if (slot.state == SlotState::kMissing) {
      log("nom not found");
      return finish("2");
    }
    if (slot.state == SlotState::kBusy) {
      log("nom busy - kl:" + slot.busyText);
      return finish("3");
    }
    std::string update =
        "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', fam_reg='OLNA-" + klField +
        "', fiol=" + *nameLiteral + ",kl=" + klField + ",tel=" + tel +
        " WHERE DTOC(dat,1)+tim+str(kw,5)=" + *keyLiteral;
    update += kFreeSlotCondition;
    log(update);
    if (ExecuteStatement(db, update) == 0) {
      // Taken between the busy test and the write: the database left the other booking alone.
      slot = LookUpSlot(db, *keyLiteral);
      if (slot.state == SlotState::kMissing) {
        log("nom not found");
        return finish("2");
      }
      log("nom busy - kl:" + slot.busyText);
      return finish("3");
    }
    log("ok");
    RunQuery(db, SlotStatement(*keyLiteral));
    Query& q = db.SQL;
    // The id is compared as a number: field 8 "012" books patient 12, and the slot then holds 12.
    bool holdsPatient = false;
    if (q.RecordCount() > 0) {
      q.First();
      const sql::Value kl = q.FieldValue("kl");
      holdsPatient = kl.kind == sql::ValueKind::kNumber && kl.number == static_cast<double>(id);
    }
    status = holdsPatient ? "ok" : "5";
    log("status: " + status);
    MarkScheduleChanged(ctx);
    CountBooking(ctx);
  } catch (const std::exception&) {
  }
  return finish(status);
}

}  // namespace vorel
