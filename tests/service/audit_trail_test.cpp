#include <gtest/gtest.h>

#include <atomic>

#include "booking/test_doubles.h"
#include "exchange/dispatch_reply.h"
#include "platform/http_client_factory.h"
#include "service/audit_pruner.h"
#include "service/audit_view.h"
#include "service/service_exchange.h"
#include "support/clinic_tables.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using testing_support::SlotRow;

SlotRow Slot(int64_t kw, CivilDate date, std::string tim, int64_t kl = 0, std::string fiol = {}) {
  SlotRow r;
  r.kw = kw;
  r.dat = date;
  r.tim = std::move(tim);
  r.kl = kl;
  r.fiol = std::move(fiol);
  if (kl != 0) r.phone = "OLNA";
  return r;
}

class FailingAuditStore final : public AuditStore {
 public:
  void Append(const AuditEntry&) override { throw AuditStoreError("disk full"); }
  std::vector<AuditEntry> Entries() override { return {}; }
  size_t PruneBefore(int64_t) override { return 0; }
};

// The commands as the main loop runs them: the service's wiring of the dispatcher, the bookings and the
// audit trail over a real table folder and a real audit file.
class AuditTrailTest : public ::testing::Test {
 protected:
  AuditTrailTest() : sql_(ado_, clock_, regional_) {
    std::vector<SlotRow> rows = {Slot(1203, {2026, 12, 15}, "11:30"),
                                 Slot(3204, {2026, 12, 15}, "12:00", 21, "reception"),
                                 Slot(5205, {2026, 12, 16}, "09:00", 555, "Five")};
    for (int i = 0; i < 103; ++i) rows.push_back(Slot(2000 + i, {2026, 12, 17}, "08:00"));
    testing_support::WriteM2401(dir_.path(), rows);
    ado_.SetConnectionString("Provider=VFPOLEDB;Data Source=" + dir_.path().string() +
                             ";Collating Sequence=RUSSIAN");
    store_.values["record_cnt"] = "0";
  }

  void Run(AuditStore* audit, const std::vector<std::string>& replies) {
    ServiceExchange exchange(ServiceExchangeParts{state_,
                                                  log_,
                                                  store_,
                                                  settings_,
                                                  *client_,
                                                  ado_,
                                                  sql_,
                                                  clock_,
                                                  regional_,
                                                  stopFlag_,
                                                  "",
                                                  "",
                                                  "",
                                                  "",
                                                  {},
                                                  "",
                                                  "",
                                                  audit,
                                                  [this](const std::string& f) { failures_.push_back(f); }});
    PatientCache& cache = exchange.patientCache();
    cache.BeginLoad();
    pac_rec& five = cache.PrepareSlot(1);
    five.kl = 555;
    five.fiol = cache.Keep("five");
    cache.CommitSlot(1);
    cache.FinishLoad(1);
    for (const std::string& reply : replies) {
      DispatchReply(exchange.context(), reply);
      answers_.push_back(state_.pendingAnswer);
    }
  }

  testing::TempFolder dir_{"vorel_audit_trail"};
  testing::FakeClock clock_;
  RegionalSettings regional_;
  testing_support::RecordingLogger log_;
  testing_support::MemoryStateStore store_;
  SettingsList settings_;
  ExchangeState state_;
  std::atomic<int32_t> stopFlag_{0};
  std::unique_ptr<HttpClient> client_ = CreateHttpClient();
  Connection ado_;
  Query sql_;
  std::vector<std::string> answers_;
  std::vector<std::string> failures_;
};

TEST_F(AuditTrailTest, EachChangingCommandLeavesItsEntryWithTheFieldsBeforeAndAfter) {
  auto audit = OpenAuditFile(dir_ / "audit.log");
  Run(audit.get(),
      {"t1&zapis&&&1203&20261215&11:30&&555", "t2&zapis&&&3204&20261215&12:00&&555",
       "t3&delrec&&&5205&20261216&09:00&555", "t4&adm_sql&UPDATE m2401 SET ntal=7 WHERE kw>=2000 AND kw<3000",
       "t5&adm_sql&select kw from m2401", "t6&get_spec"});
  ASSERT_EQ(answers_[0], "ok");
  ASSERT_EQ(answers_[1], "3");
  ASSERT_EQ(answers_[2], "ok");
  const auto entries = audit->Entries();
  ASSERT_EQ(entries.size(), 4u);  // neither the query nor get_spec

  const std::string stamp = "20261207 22:38:35";
  const AuditEntry& booked = entries[3];
  EXPECT_EQ(booked.session, "t1");
  EXPECT_EQ(booked.line, "t1&zapis&&&1203&20261215&11:30&&555");
  EXPECT_EQ(booked.answer, "ok");
  EXPECT_EQ(booked.localTime, stamp);
  EXPECT_EQ(booked.recordsChanged, 1u);
  ASSERT_EQ(booked.records.size(), 1u);
  EXPECT_EQ(booked.records[0], (AuditRecordChange{"m2401",
                                                  1,
                                                  false,
                                                  {{"KL", "0", "555"},
                                                   {"FIOL", "", "Five .."},
                                                   {"PHONE", "", "OLNA"},
                                                   {"FAM_REG", "", "OLNA-555"},
                                                   {"DT_ZAP", "", stamp},
                                                   {"DATA_NAZ", "", stamp},
                                                   {"TEL", "0", "2"}}}));

  const AuditEntry& refused = entries[2];
  EXPECT_EQ(refused.answer, "3");
  EXPECT_EQ(refused.recordsChanged, 0u);
  ASSERT_FALSE(refused.log.empty());
  EXPECT_EQ(refused.log.back(), "nom busy - kl:21 fiol:reception");

  const AuditEntry& cancelled = entries[1];
  EXPECT_EQ(cancelled.answer, "ok");
  ASSERT_EQ(cancelled.records.size(), 1u);
  EXPECT_EQ(
      cancelled.records[0],
      (AuditRecordChange{
          "m2401", 3, false, {{"KL", "555", "0"}, {"FIOL", "Five", ""}, {"PHONE", "OLNA", "OLNA-DEL"}}}));

  const AuditEntry& admin = entries[0];
  EXPECT_EQ(admin.command, "adm_sql");
  EXPECT_EQ(admin.recordsChanged, 103u);
  ASSERT_EQ(admin.records.size(), kAuditRecordsKept);
  EXPECT_EQ(admin.records[0], (AuditRecordChange{"m2401", 4, false, {{"NTAL", "0", "7"}}}));

  // What `audit` selects: by slot, by patient, by day.
  struct Case {
    AuditFilter filter;
    std::vector<std::string> sessions;
  };
  const Case cases[] = {
      {{"", AuditFilter::Slot{"1203", "20261215", "11:30"}, ""}, {"t1"}},
      {{"", AuditFilter::Slot{"05205", "20261216", "09:00"}, ""}, {"t3"}},
      {{"", std::nullopt, "555"}, {"t3", "t2", "t1"}},
      {{"20261207", std::nullopt, ""}, {"t4", "t3", "t2", "t1"}},
      {{"20261208", std::nullopt, ""}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> found;
    for (const AuditEntry& e : entries)
      if (AuditEntryMatches(c.filter, e)) found.push_back(e.session);
    EXPECT_EQ(found, c.sessions);
  }
  EXPECT_NE(AuditEntryText(booked).find("KL \"0\" -> \"555\"; FIOL \"\" -> \"Five ..\""), std::string::npos);
}

TEST_F(AuditTrailTest, AnEntryThatCannotBeWrittenIsLoggedAndTheBookingStands) {
  FailingAuditStore audit;
  Run(&audit, {"t1&zapis&&&1203&20261215&11:30&&555"});
  EXPECT_EQ(answers_[0], "ok");
  EXPECT_EQ(testing_support::ReadM2401(dir_.path())[0].kl, 555);
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_EQ(log_.Channel("system"), failures_);
  EXPECT_NE(failures_[0].find("disk full"), std::string::npos);
}

TEST(AuditPruning, AYearLaterOnlyTheEntriesWithinTheDaysRemain) {
  testing::TempFolder dir("vorel_audit_prune");
  testing::FakeClock clock;
  auto store = OpenAuditFile(dir / "audit.log");
  auto at = [&] {
    AuditEntry e;
    e.unixMillis =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now().time_since_epoch()).count();
    return e;
  };
  store->Append(at());
  clock.Advance(std::chrono::hours(24 * 365));
  store->Append(at());
  EXPECT_EQ(PruneAudit(*store, clock, AuditDays("")), 0u);  // 400 days by default: both stay
  clock.Advance(std::chrono::hours(24 * 36));
  EXPECT_EQ(PruneAudit(*store, clock, AuditDays("400")), 1u);
  EXPECT_EQ(store->Entries().size(), 1u);
  for (const auto& [setting, days] : std::vector<std::pair<std::string, int>>{
           {"30", 30}, {"0", 400}, {"-5", 400}, {" 30", 400}, {"30d", 400}})
    EXPECT_EQ(AuditDays(setting), days) << setting;
}

}  // namespace
}  // namespace vorel
