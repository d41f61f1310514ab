#include <exception>

#include "booking/booking_commands.h"
#include "booking/booking_steps.h"
#include "booking/field_checks.h"
#include "booking/slot_key.h"
#include "booking/text_trim.h"
#include "database/run_query.h"

namespace vorel {
namespace {

constexpr std::string_view kChannel = "zapis";

}  // namespace

std::string RunPolicyBookingCommand(BookingContext& ctx, const ReplyFields& fields) {
  DatabaseContext& db = ctx.db;
  auto log = [&](std::string_view message) { db.log.Log(kChannel, "#2 " + std::string(message)); };
  const std::string fam(TrimText(fields[2]));
  const std::string polis(TrimText(fields[3]));
  const std::string& kwField = fields[4];
  const std::string& dateField = fields[5];
  const std::string& timeField = fields[6];
  const std::string& klField = fields[8];
  const std::string tel = "2";

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

  std::string status = "0";
  db.ADO.Connect();
  auto finish = [&](std::string answer) {
    db.ADO.Disconnect();
    return answer;
  };
  try {
    // The slot number only forms part of the key here, so any text free of the delimiter will do: one
    // that is not a number names no slot.
    const std::string key = BuildSlotKey(kwField, dateField, timeField);
    const auto keyLiteral = TextLiteral(key);
    const auto polisLiteral = TextLiteral(polis);
    const auto nameLiteral = TextLiteral("*" + fam);
    const char* bad = !IsEightDigits(dateField) ? "Invalid field 5 (date)"
                      : !keyLiteral             ? "Invalid field 4 or 6 (slot number, time)"
                      : !polisLiteral           ? "Invalid field 3 (policy number)"
                      : !nameLiteral            ? "Invalid field 2 (surname)"
                                                : nullptr;
    if (bad) {
      log(bad);
      return finish(status);
    }
    const std::string limit =
        "select kw,dat,tim from m2401 WHERE polis=" + *polisLiteral + " AND DATE()<=dat";
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
        "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', polis=" + *polisLiteral +
        ", fam_reg='OLNA', fiol=" + *nameLiteral + ",kl=" + klField + ",tel=" + tel +
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
    RunQuery(db, SlotStatement(*keyLiteral, ",polis"));
    Query& q = db.SQL;
    // The database gives polis blank-filled to its width; the booking wrote the trimmed number.
    bool holdsPolicy = false;
    if (q.RecordCount() > 0) {
      q.First();
      holdsPolicy = TrimRightText(q.FieldText("polis")) == polis;
    }
    status = holdsPolicy ? "ok" : "5";
    log("status: " + status);
    MarkScheduleChanged(ctx);
    CountBooking(ctx);
  } catch (const std::exception&) {
  }
  return finish(status);
}

}  // namespace vorel
