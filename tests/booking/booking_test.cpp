#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>

#include "booking/booking_commands.h"
#include "booking/slot_key.h"
#include "clinic_fixture.h"
#include "platform/code_page.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

using testing_support::SlotRow;

constexpr AnsiText kPetrov("петров");
constexpr AnsiText kPetrovName("Петров А.С.");
constexpr AnsiText kA("А");
constexpr AnsiText kS("С");

// Calls `hook` with each logged message before keeping it (a way in between two steps of a handler).
class HookedLogger : public testing_support::RecordingLogger {
 public:
  std::function<void(std::string_view)> hook;
  void Log(std::string_view channel, std::string_view message) override {
    if (hook) hook(message);
    RecordingLogger::Log(channel, message);
  }
};

SlotRow Slot(int64_t kw, CivilDate date, std::string tim) {
  SlotRow r;
  r.kw = kw;
  r.dat = date;
  r.tim = std::move(tim);
  r.ist_zap = "i";
  r.filtr = "f";
  r.ntal = 4;
  r.tel = 1;
  return r;
}

class BookingTest : public testing_support::ClinicFixture {
 protected:
  void SetUp() override {
    SlotRow petrov = Slot(12003, {2026, 12, 20}, "09:00");
    petrov.kl = 12;
    petrov.fiol = kPetrovName.str();
    SlotRow earlier = Slot(1500, {2026, 12, 15}, "09:00");
    earlier.kl = 20;
    SlotRow later = Slot(1501, {2026, 12, 15}, "11:00");
    later.kl = 21;
    SlotRow named = Slot(1700, {2026, 12, 17}, "12:00");
    named.fiol = "reception";
    SlotRow policy = Slot(1800, {2026, 12, 18}, "12:00");
    policy.polis = "9999";
    policy.fiol = "*Sidorov";
    rows_ = {Slot(1203, {2026, 12, 15}, "11:30"),
             petrov,
             Slot(12999, {2026, 12, 21}, "10:00"),
             Slot(13000, {2026, 12, 21}, "10:00"),
             Slot(7, {2026, 12, 16}, "08:00"),
             Slot(12345, {2026, 12, 16}, "08:00"),
             earlier,
             later,
             named,
             policy};
    testing_support::WriteM2401(folder_, rows_);
    cache_.BeginLoad();
    Add(1, 12, kPetrov.str(), "123");
    Add(2, 20, "early", "20");
    Add(3, 21, "late", "21");
    Add(4, 555, "five", "555");
    Add(5, 30, "", "30");
    Add(6, 12, "second", "12b");
    cache_.FinishLoad(6);
    store_.values["record_cnt"] = "0";
  }
  void Add(int32_t slot, int32_t kl, std::string fiol, std::string npol) {
    pac_rec& r = cache_.PrepareSlot(slot);
    r.kl = kl;
    r.fiol = cache_.Keep(fiol);
    r.npol = cache_.Keep(npol);
    r.im = kA.view()[0];
    r.hasIm = true;
    r.ot = kS.view()[0];
    r.hasOt = true;
    cache_.CommitSlot(slot);
  }
  BookingContext Context() { return BookingContext{db_, cache_, store_, scheduleAge_, busyFlag_}; }
  static ReplyFields Fields(std::string command, std::vector<std::pair<int, std::string>> values) {
    ReplyFields f;
    f[0] = "sess";
    f[1] = std::move(command);
    for (auto& [i, v] : values) f[static_cast<size_t>(i)] = std::move(v);
    return f;
  }
  std::string Zapis(std::string kw, std::string date, std::string tim, std::string tel, std::string kl) {
    auto ctx = Context();
    return RunBookingCommand(ctx, Fields("zapis", {{4, kw}, {5, date}, {6, tim}, {7, tel}, {8, kl}}));
  }
  std::string Zapis2(std::string fam, std::string polis, std::string kw, std::string date, std::string tim,
                     std::string kl = "0") {
    auto ctx = Context();
    return RunPolicyBookingCommand(
        ctx, Fields("zapis2", {{2, fam}, {3, polis}, {4, kw}, {5, date}, {6, tim}, {7, "1"}, {8, kl}}));
  }
  std::vector<SlotRow> Table() { return testing_support::ReadM2401(folder_); }
  // The table as it was, except for the row of slot kw, which must now be `changed`.
  void ExpectOnlyChanged(int64_t kw, const SlotRow& changed) {
    std::vector<SlotRow> expected = rows_;
    for (SlotRow& r : expected) {
      if (r.kw == kw) r = changed;
    }
    EXPECT_EQ(Table(), expected);
  }
  SlotRow Original(int64_t kw) const {
    for (const SlotRow& r : rows_) {
      if (r.kw == kw) return r;
    }
    return {};
  }
  std::vector<std::string> Lines(std::string_view channel) { return log_.Channel(channel); }
  bool TouchedDatabase() { return !log_.Channel("sql").empty() || ado_.Connected(); }

  std::vector<SlotRow> rows_;
  PatientCache cache_;
  int32_t scheduleAge_ = 777;
  int32_t busyFlag_ = 0;
  const dbf::DateTimeValue now_{JulianDayFromCivil(2026, 12, 15), 10 * 3600 * 1000};
};

TEST(SlotKeyTest, NumberIsRightAlignedInFiveAndNeverCut) {
  EXPECT_EQ(BuildSlotKey("7", "20261215", "09:30"), "2026121509:30    7");
  EXPECT_EQ(BuildSlotKey("1203", "20261215", "09:30"), "2026121509:30 1203");
  EXPECT_EQ(BuildSlotKey("12345", "20261215", "09:30"), "2026121509:3012345");
  EXPECT_EQ(BuildSlotKey("1234567", "20261215", "09:30"), "2026121509:301234567");
  EXPECT_EQ(SlotBlockOf(12999).first, 12000);
  EXPECT_EQ(SlotBlockOf(13000).last, 13999);
  EXPECT_EQ(SlotBlockOf(-5).first, 0);
}

TEST_F(BookingTest, BooksAFreeSlotForACachedPatient) {
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "12"), "ok");
  SlotRow booked = Original(1203);
  booked.fiol = kPetrovName.str();
  booked.kl = 12;
  booked.tel = 2;
  booked.phone = "OLNA";
  booked.fam_reg = "OLNA-12";
  booked.dt_zap = now_;
  booked.data_naz = now_;
  ExpectOnlyChanged(1203, booked);
  EXPECT_EQ(
      Lines("zapis"),
      (std::vector<std::string>{
          "UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', fam_reg='OLNA-12', fiol='" +
              kPetrovName.str() +
              "',kl=12,tel=2 WHERE DTOC(dat,1)+tim+str(kw,5)='2026121511:30 1203' AND kl=0 AND fiol==''",
          "ok", "status: ok"}));
  EXPECT_EQ(scheduleAge_, 0);
  EXPECT_EQ(busyFlag_, 1);
  EXPECT_EQ(store_.values["record_time"], "15.12.2026 10:00:00");
  EXPECT_EQ(store_.values["record_cnt"], "1");
  EXPECT_FALSE(ado_.Connected());
}

TEST_F(BookingTest, OneFutureAppointmentPerBlockOfAThousandSlots) {
  EXPECT_EQ(Zapis("12999", "20261221", "10:00", "1", "12"), "5");
  EXPECT_EQ(Lines("zapis"), std::vector<std::string>{"user-12 have nom: 12003 20.12.2026 09:00"});
  EXPECT_EQ(Table(), rows_);
  EXPECT_EQ(scheduleAge_, 777);
  EXPECT_EQ(Zapis("13000", "20261221", "10:00", "1", "12"), "ok");
  EXPECT_EQ(Table()[3].tel, 1);
  EXPECT_EQ(Table()[3].kl, 12);
}

TEST_F(BookingTest, TodaysEarlierAppointmentDoesNotCountButALaterOneDoes) {
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "20"), "ok");
  EXPECT_EQ(Zapis("1999", "20261216", "08:00", "", "21"), "5");  // 1501 at 11:00 today, same block
  EXPECT_EQ(Lines("zapis").back(), "user-21 have nom: 1501 15.12.2026 11:00");
}

TEST_F(BookingTest, AppointmentMomentDoesNotDependOnTheDateFormat) {
  regional_.shortDate = "M/d/yyyy";
  EXPECT_EQ(Zapis("12999", "20261221", "10:00", "", "12"), "5");
  EXPECT_EQ(Lines("zapis"), std::vector<std::string>{"user-12 have nom: 12003 12/20/2026 09:00"});
}

TEST_F(BookingTest, SlotKeyPaddingAndMissingOrTakenSlots) {
  EXPECT_EQ(Zapis("7", "20261216", "08:00", "", "555"), "ok");
  EXPECT_EQ(Zapis("12345", "20261216", "08:00", "", "20"), "ok");
  EXPECT_EQ(Zapis("1234567", "20261216", "08:00", "", "21"), "2");
  EXPECT_EQ(Lines("zapis").back(), "nom not found");
  EXPECT_EQ(Zapis("1700", "20261217", "12:00", "", "555"), "3");
  EXPECT_EQ(Lines("zapis").back(), "nom busy - kl:0 fiol:reception");
  EXPECT_EQ(Zapis("1800", "20261218", "12:00", "", "555"), "3");
  EXPECT_EQ(Lines("zapis").back(), "nom busy - kl:0 fiol:*Sidorov");
  EXPECT_EQ(Zapis("12003", "20261220", "09:00", "", "21"), "3");
  EXPECT_EQ(Lines("zapis").back(), "nom busy - kl:12 fiol:" + kPetrovName.str());
  EXPECT_EQ(store_.values["record_cnt"], "2");
}

// The busy test sees fiol as the conditional UPDATE's fiol=='' does: control characters are no blank.
TEST_F(BookingTest, ANameOfControlCharactersIsBusyForTheBusyTestAsForTheUpdate) {
  SlotRow odd = Slot(1900, {2026, 12, 19}, "12:00");
  odd.fiol = std::string(3, '\0');
  rows_.push_back(odd);
  testing_support::WriteM2401(folder_, rows_);
  EXPECT_EQ(Zapis("1900", "20261219", "12:00", "", "555"), "3");
  EXPECT_EQ(Lines("zapis"), std::vector<std::string>{"nom busy - kl:0 fiol:"});
}

TEST_F(BookingTest, PatientRefusalsTouchNothing) {
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", ""), "");
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "12x"), "");
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "999"), "");
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "30"), "");  // cached with an empty surname
  EXPECT_EQ(Lines("zapis"), (std::vector<std::string>{"User is null", "Error user search", "No user login",
                                                      "Error user search"}));
  EXPECT_FALSE(TouchedDatabase());
  EXPECT_EQ(Table(), rows_);
}

// A number goes into the statements as the number it is, never as the field: leading zeros go, however many.
TEST_F(BookingTest, NumbersGoIntoTheStatementsWrittenAnew) {
  EXPECT_EQ(Zapis("01203", "20261215", "11:30", "007", "00000000012"), "ok");
  EXPECT_EQ(Table()[0].kl, 12);
  EXPECT_EQ(Table()[0].fam_reg, "OLNA-12");
  EXPECT_EQ(Table()[0].tel, 7);
  EXPECT_EQ(Zapis("1999", "20261216", "08:00", "1", "012"), "5");
  EXPECT_EQ(Lines("zapis").back(), "user-012 have nom: 1203 15.12.2026 11:30");
  EXPECT_EQ(Zapis("13000", "20261221", "10:00", "+1", "012"), "0");
  EXPECT_EQ(Lines("zapis").back(), "Invalid field 7 (tel)");
}

TEST_F(BookingTest, FieldsThatCannotGoIntoAStatementAnswerZeroAndWriteNothing) {
  EXPECT_EQ(Zapis("1203 OR 1=1", "20261215", "11:30", "", "12"), "0");
  EXPECT_EQ(Zapis("1203", "2026-12-15", "11:30", "", "12"), "0");
  EXPECT_EQ(Zapis("1203", "20261215", "11:30\n", "", "12"), "0");
  EXPECT_EQ(Zapis("1203", "20261215", "11:30'\"]", "", "12"), "0");
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "2,kl=5", "12"), "0");
  EXPECT_EQ(Lines("zapis"), (std::vector<std::string>{"Invalid field 4 (slot number)",
                                                      "Invalid field 5 (date)", "Invalid field 6 (time)",
                                                      "Invalid field 6 (time)", "Invalid field 7 (tel)"}));
  EXPECT_TRUE(Lines("sql").empty());
  // A quote in the time only gets another delimiter: it names no slot.
  EXPECT_EQ(Zapis("1203", "20261215", "11:30' OR kw>0 OR tim='", "", "12"), "2");
  EXPECT_EQ(Table(), rows_);
  EXPECT_EQ(store_.values["record_cnt"], "0");
}

#ifndef _WIN32  // the reception desk as a second process, by fork()
// Another program (a real second process, as the reception desk is) writes kl and fiol of record `recno`.
void DeskWrites(const std::filesystem::path& folder, uint32_t recno, int64_t kl, std::string fiol) {
  const pid_t child = fork();
  if (child == 0) {
    try {
      dbf::Table table = dbf::Table::Open(folder, "m2401");
      const dbf::Field& klField = table.GetField("kl");
      const dbf::Field& fiolField = table.GetField("fiol");
      table.UpdateRecord(recno, [&](uint32_t, std::string_view, std::span<char> rec) {
        dbf::EncodeInteger(klField, kl, rec);
        dbf::EncodeText(fiolField, fiol, rec);
        return true;
      });
      _exit(0);
    } catch (...) {
      _exit(1);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

class ConcurrentBookingTest : public BookingTest {
 protected:
  // Runs zapis for slot 1203 with `hook` called on each of its log lines.
  std::string ZapisWithHook(std::function<void(std::string_view)> hook) {
    hooked_.hook = std::move(hook);
    Query sql(ado_, clock_, regional_);
    DatabaseContext db{ado_, sql, hooked_, clock_, regional_};
    BookingContext ctx{db, cache_, store_, scheduleAge_, busyFlag_};
    return RunBookingCommand(ctx, Fields("zapis", {{4, "1203"}, {5, "20261215"}, {6, "11:30"}, {8, "12"}}));
  }
  HookedLogger hooked_;
};

TEST_F(ConcurrentBookingTest, SlotTakenAfterTheBusyTestIsNotOverwritten) {
  const std::filesystem::path folder = folder_;
  EXPECT_EQ(ZapisWithHook([&](std::string_view message) {
              if (message.rfind("UPDATE", 0) == 0) DeskWrites(folder, 1, 99, "desk");
            }),
            "3");
  SlotRow desk = Original(1203);
  desk.kl = 99;
  desk.fiol = "desk";
  ExpectOnlyChanged(1203, desk);
  EXPECT_EQ(hooked_.Channel("zapis").back(), "nom busy - kl:99 fiol:desk");
  EXPECT_EQ(store_.values["record_cnt"], "0");
  EXPECT_EQ(busyFlag_, 0);
}

TEST_F(ConcurrentBookingTest, ConfirmationThatDoesNotShowThePatientAnswersFiveButCountsTheBooking) {
  const std::filesystem::path folder = folder_;
  EXPECT_EQ(ZapisWithHook([&](std::string_view message) {
              if (message == "ok") DeskWrites(folder, 1, 77, "other");
            }),
            "5");
  EXPECT_EQ(hooked_.Channel("zapis").back(), "status: 5");
  EXPECT_EQ(store_.values["record_cnt"], "1");
  EXPECT_EQ(busyFlag_, 1);
}
#endif

TEST_F(BookingTest, PolicyBookingWritesThePolicyAndAStarredName) {
  EXPECT_EQ(Zapis2(" Sidorova ", " 55 ", "1203", "20261215", "11:30"), "ok");
  SlotRow booked = Original(1203);
  booked.polis = "55";
  booked.fiol = "*Sidorova";
  booked.tel = 2;
  booked.phone = "OLNA";
  booked.fam_reg = "OLNA";
  booked.dt_zap = now_;
  booked.data_naz = now_;
  ExpectOnlyChanged(1203, booked);
  EXPECT_EQ(Lines("zapis"), (std::vector<std::string>{
                                "#2 UPDATE m2401 SET dt_zap=DATETIME(), data_naz=DATETIME(), phone='OLNA', "
                                "polis='55', fam_reg='OLNA', fiol='*Sidorova',kl=0,tel=2 WHERE "
                                "DTOC(dat,1)+tim+str(kw,5)='2026121511:30 1203' AND kl=0 AND fiol==''",
                                "#2 ok", "#2 status: ok"}));
  EXPECT_EQ(store_.values["record_cnt"], "1");
  // The same policy number now holds a future appointment, whatever the slot number.
  EXPECT_EQ(Zapis2("Sidorova", "55", "13000", "20261221", "10:00"), "5");
  EXPECT_EQ(Lines("zapis").back(), "#2 user-0 have nom: 1203 15.12.2026 11:30");
  // A registered patient finds the slot taken.
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "555"), "3");
  EXPECT_EQ(Lines("zapis").back(), "nom busy - kl:0 fiol:*Sidorova");
}

TEST_F(BookingTest, PolicyBookingRefusals) {
  EXPECT_EQ(Zapis2("a", "1", "1203", "20261215", "11:30", ""), "");
  EXPECT_EQ(Zapis2("a", "1", "1203", "20261215", "11:30", "00"), "");
  EXPECT_EQ(Zapis2("a", "1", "1203", "20261215", "11:30", " 0"), "");
  EXPECT_EQ(Zapis2("   ", "1", "1203", "20261215", "11:30"), "");
  EXPECT_EQ(Zapis2("a", " ", "1203", "20261215", "11:30"), "");
  EXPECT_EQ(Lines("zapis"),
            (std::vector<std::string>{"#2 User id is not 0", "#2 User id is not 0", "#2 User id is not 0",
                                      "#2 No user fam", "#2 No user polis"}));
  EXPECT_FALSE(TouchedDatabase());
  EXPECT_EQ(Zapis2("a", "1", "x12", "20261215", "11:30"), "0");
  EXPECT_EQ(Lines("zapis").back(), "#2 Invalid field 4 (slot number)");
  EXPECT_EQ(Zapis2("a'\"]", "1", "1203", "20261215", "11:30"), "0");
  EXPECT_EQ(Lines("zapis").back(), "#2 Invalid field 2 (surname)");
  EXPECT_EQ(Table(), rows_);
  EXPECT_EQ(Zapis2("d'Arc", "1", "1203", "20261215", "11:30"), "ok");
  EXPECT_EQ(Table()[0].fiol, "*d'Arc");
}

TEST_F(BookingTest, FailuresInsideTheBlockAnswerZeroAndCloseTheConnection) {
  store_.values["record_cnt"] = "many";
  EXPECT_EQ(Zapis("1203", "20261215", "11:30", "", "12"),
            "ok");  // booked; only the counter is left as it was
  EXPECT_EQ(store_.values["record_cnt"], "many");
  EXPECT_EQ(store_.values["record_time"], "15.12.2026 10:00:00");
  std::filesystem::remove(folder_ / "m2401.dbf");
  EXPECT_EQ(Zapis("13000", "20261221", "10:00", "", "12"), "0");
  EXPECT_FALSE(ado_.Connected());
}

class CancellationTest : public BookingTest {
 protected:
  std::string Delrec(std::string kw, std::string date, std::string tim, std::string kl) {
    auto ctx = Context();
    return RunCancellationCommand(ctx, Fields("delrec", {{4, kw}, {5, date}, {6, tim}, {7, kl}}));
  }
  std::string Delrec2(std::string fam, std::string polis, std::string kw, std::string date, std::string tim) {
    auto ctx = Context();
    return RunPolicyCancellationCommand(
        ctx, Fields("delrec2", {{2, fam}, {3, polis}, {4, kw}, {5, date}, {6, tim}}));
  }
};

TEST_F(CancellationTest, FreesTheSlotOfTheRegisteredPatient) {
  EXPECT_EQ(Delrec("12003", "20261220", "09:00", "12"), "ok");
  SlotRow freed = Original(12003);
  freed.fiol = "";
  freed.kl = 0;
  freed.ntal = 0;
  freed.tel = 0;
  freed.phone = "OLNA-DEL";
  ExpectOnlyChanged(12003, freed);
  const std::string statement =
      "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=12003 AND "
      "DTOS(dat)='20261220' AND "
      "kl=12 AND tim='09:00'";
  EXPECT_EQ(Lines("delete"), (std::vector<std::string>{statement, "ok"}));
  EXPECT_EQ(scheduleAge_, 0);
  EXPECT_EQ(busyFlag_, 1);
  EXPECT_FALSE(ado_.Connected());
  // Again: nothing matches any more, the answer stays "ok".
  EXPECT_EQ(Delrec("12003", "20261220", "09:00", "12"), "ok");
  ExpectOnlyChanged(12003, freed);
}

TEST_F(CancellationTest, MatchesOnlyTheGivenPatientAndSlot) {
  EXPECT_EQ(Delrec("012003", "20261220", "09:00", "0555"), "ok");  // patient 555 holds no such slot
  EXPECT_EQ(Lines("delete").front(),
            "UPDATE m2401 SET fiol='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=12003 AND "
            "DTOS(dat)='20261220' AND kl=555 AND tim='09:00'");
  EXPECT_EQ(Delrec("12003", "20261221", "09:00", "12"), "ok");
  EXPECT_EQ(Table(), rows_);
}

TEST_F(CancellationTest, RefusalsAndBadFields) {
  EXPECT_EQ(Delrec("12003", "20261220", "09:00", ""), "");
  EXPECT_EQ(Delrec("12003", "20261220", "09:00", "1x"), "");
  EXPECT_EQ(Delrec("12003", "20261220", "09:00", "999"), "");
  EXPECT_EQ(Delrec2("", "9999", "1800", "20261218", "12:00"), "");
  EXPECT_EQ(Delrec2("s", "", "1800", "20261218", "12:00"), "");
  EXPECT_EQ(Lines("delete"), (std::vector<std::string>{"User is null", "Error user search", "No user login",
                                                       "#2 Fam is null", "#2 Polis is null"}));
  EXPECT_FALSE(TouchedDatabase());
  EXPECT_EQ(scheduleAge_, 777);
  // A crafted slot number would free every booking of the patient.
  EXPECT_EQ(Delrec("1 OR 1=1", "20261220", "09:00", "12"), "0");
  EXPECT_EQ(Lines("delete").back(), "Invalid field 4 (slot number)");
  EXPECT_EQ(Delrec2("s", "9999", "1800", "2026121", "12:00"), "0");
  EXPECT_EQ(Lines("delete").back(), "#2 Invalid field 5 (date)");
  EXPECT_EQ(Table(), rows_);
  std::filesystem::remove(folder_ / "m2401.dbf");
  EXPECT_EQ(Delrec("12003", "20261220", "09:00", "12"), "0");
  EXPECT_EQ(Lines("delete").back(), "error");
}

TEST_F(CancellationTest, PolicyCancellationFreesTheSlotBookedUnderThePolicy) {
  EXPECT_EQ(Delrec2("s", "9998", "1800", "20261218", "12:00"), "ok");
  EXPECT_EQ(Table(), rows_);
  EXPECT_EQ(Delrec2("s", "9999", "1800", "20261218", "12:00"), "ok");
  SlotRow freed = Original(1800);
  freed.fiol = "";
  freed.polis = "";
  freed.ntal = 0;
  freed.tel = 0;
  freed.phone = "OLNA-DEL";
  ExpectOnlyChanged(1800, freed);
  EXPECT_EQ(Lines("delete")[2],
            "#2UPDATE m2401 SET fiol='', polis='', kl=0, ntal=0, tel=0, phone='OLNA-DEL' WHERE kw=1800 AND "
            "DTOS(dat)='20261218' AND polis='9999' AND tim='12:00'");
  EXPECT_EQ(Lines("delete")[3], "#2 ok");
}

}  // namespace
}  // namespace vorel
