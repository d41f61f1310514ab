#include "booking/booking_steps.h"

#include "booking/slot_moment.h"
#include "booking/text_trim.h"
#include "database/run_query.h"
#include "sql/collation.h"

namespace vorel {

VOREL_DEFINE_ERROR(BookingCountError, Error);

std::string SlotStatement(const std::string& keyLiteral, std::string_view extraColumns) {
  std::string s = "select kw,kl,fiol,dat,tim,filtr";
  s += extraColumns;
  s += " from m2401 WHERE DTOC(dat,1)+tim+str(kw,5)=";
  s += keyLiteral;
  return s;
}

std::optional<FutureAppointment> FindFutureAppointment(DatabaseContext& db, std::string_view statement) {
  RunQuery(db, statement);
  Query& q = db.SQL;
  if (q.RecordCount() == 0) return std::nullopt;
  const int64_t now = LocalMoment(db.clock.LocalNow());
  for (q.First(); !q.Eof(); q.Next()) {
    const std::string timeText = q.FieldText("tim");
    const int64_t moment = SlotMoment(q.FieldValue("dat"), timeText);
    if (now < moment) {
      std::string text(TrimText(q.FieldText("dat")));
      text += ' ';
      text += TrimText(timeText);
      return FutureAppointment{q.FieldText("kw"), std::move(text)};
    }
  }
  return std::nullopt;
}

SlotLook LookUpSlot(DatabaseContext& db, const std::string& keyLiteral) {
  RunQuery(db, SlotStatement(keyLiteral));
  Query& q = db.SQL;
  if (q.RecordCount() == 0) return {};
  q.First();
  // Free exactly when the booking's conditional UPDATE would write it ("kl=0 AND fiol==''"): the values the
  // statement sees, compared as it compares them, so that a name of control characters is no blank here
  // either.
  const sql::Value kl = q.FieldValue("kl");
  const sql::Value fiol = q.FieldValue("fiol");
  const bool free = kl.kind == sql::ValueKind::kNumber && kl.number == 0 &&
                    fiol.kind == sql::ValueKind::kText && sql::ExactlyEqual(fiol.text, "");
  std::string shown(TrimText(q.FieldText("kl") + " fiol:" + q.FieldText("fiol")));
  return {free ? SlotState::kFree : SlotState::kBusy, std::move(shown)};
}

void MarkScheduleChanged(BookingContext& ctx) {
  ctx.lastScheduleAge = 0;
  ctx.busySlotsFlag = 1;
}

void CountBooking(BookingContext& ctx) {
  ctx.store.Write("record_time", DateTimeText(ctx.db.clock, ctx.db.regional));
  const std::string stored = ctx.store.Read("record_cnt");
  const std::string_view text = TrimText(stored);
  bool negative = !text.empty() && text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 18)
    throw BookingCountError("'" + stored + "' is not a valid integer value");
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') throw BookingCountError("'" + stored + "' is not a valid integer value");
    n = n * 10 + (c - '0');
  }
  ctx.store.Write("record_cnt", std::to_string((negative ? -n : n) + 1));
}

std::string RunSlotBooking(BookingContext& ctx, const ReplyFields& fields, const BookingLog& log,
                           const std::function<SlotBooking(const SlotFields&)>& prepare) {
  DatabaseContext& db = ctx.db;
  std::string status = "0";
  db.ADO.Connect();
  // A refusal inside the block answers with its own code; everything else ends with the booking status.
  auto finish = [&](std::string answer) {
    db.ADO.Disconnect();
    return answer;
  };
  try {
    // Every field that goes into a statement is checked before the first one runs.
    SlotBooking booking;
    SlotFields slot;
    try {
      slot = ReadSlotFields(fields);
      booking = prepare(slot);
    } catch (const ReplyFieldError& e) {
      log(e.what());
      return finish(status);
    }
    if (const auto future = FindFutureAppointment(db, booking.limitStatement)) {
      log("user-" + booking.limitOwner + " have nom: " + future->kw + " " + future->momentText);
      return finish("5");
    }
    // A lookup after the conditional UPDATE wrote nothing tells a vanished slot from one taken meanwhile.
    auto refusal = [&](const SlotLook& look) {
      if (look.state == SlotState::kMissing) {
        log("nom not found");
        return finish("2");
      }
      log("nom busy - kl:" + look.busyText);
      return finish("3");
    };
    const SlotLook look = LookUpSlot(db, slot.keyLiteral);
    if (look.state != SlotState::kFree) return refusal(look);
    std::string update =
        "UPDATE m2401 SET " + booking.setList + " WHERE DTOC(dat,1)+tim+str(kw,5)=" + slot.keyLiteral;
    update += kFreeSlotCondition;
    log(update);
    // Taken between the busy test and the write: the database left the other booking alone.
    if (ExecuteStatement(db, update) == 0) return refusal(LookUpSlot(db, slot.keyLiteral));
    log("ok");
    RunQuery(db, SlotStatement(slot.keyLiteral, booking.confirmColumns));
    Query& q = db.SQL;
    bool confirmed = false;
    if (q.RecordCount() > 0) {
      q.First();
      confirmed = booking.confirms(q);
    }
    status = confirmed ? "ok" : "5";
    log("status: " + status);
    MarkScheduleChanged(ctx);
    CountBooking(ctx);
  } catch (const std::exception&) {
  }
  return finish(status);
}

}  // namespace vorel
