#include "service/service_report.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/code_page.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using testing::FakeClock;
using testing::TempFolder;

class MapStore final : public StateStore {
 public:
  std::string Read(std::string_view name) override { return values_[std::string(name)]; }
  void Write(std::string_view name, std::string_view value) override { values_[std::string(name)] = value; }

 private:
  std::map<std::string, std::string> values_;
};

class NullLogger final : public Logger {
 public:
  void Log(std::string_view, std::string_view) override {}
  void SetError(int32_t code, std::string_view message) override {
    errors.push_back(std::to_string(code) + " " + std::string(message));
  }
  std::vector<std::string> errors;
};

class ServiceReportTest : public ::testing::Test {
 protected:
  std::unique_ptr<ServiceReport> MakeReport() {
    return std::make_unique<ServiceReport>(
        StatusRecordPathsFor(dir_ / "clinic2.db"), clock_,
        [this](EventPriority p, std::string_view m) { events_.push_back(ServiceEventLine(p, m)); });
  }
  StatusFacts Published() { return ParseStatusRecord(TempFolder::ReadFile(dir_ / "clinic2.status")); }

  TempFolder dir_;
  FakeClock clock_;
  std::unique_ptr<StateStore> store_ = std::make_unique<MapStore>();
  std::vector<std::string> events_;
};

TEST_F(ServiceReportTest, TheLockProvesALiveServiceAndKeepsASecondOneOut) {
  EXPECT_FALSE(ProbeServiceLock(dir_ / "clinic2.lock").held);
  auto first = MakeReport();
  first->Acquire();
  const LockProbe probe = ProbeServiceLock(dir_ / "clinic2.lock");
  EXPECT_TRUE(probe.held);
  EXPECT_EQ(probe.pid, CurrentProcessId());
  try {
    MakeReport()->Acquire();
    ADD_FAILURE() << "a second service took the lock";
  } catch (const ServiceLockError& e) {
    EXPECT_NE(std::string(e.what()).find("(pid " + std::to_string(CurrentProcessId()) + ")"),
              std::string::npos)
        << e.what();
  }
  first.reset();
  EXPECT_FALSE(ProbeServiceLock(dir_ / "clinic2.lock").held);
  MakeReport()->Acquire();  // free again
}

TEST_F(ServiceReportTest, RecordAndJournalFollowTheService) {
  auto report = MakeReport();
  report->Acquire();
  store_->Write("record_cnt", "2");
  report->Started(*store_, AnsiText("/srv/Клиника").str(), "http://p/medic/server.php", true);
  StatusFacts facts = Published();
  EXPECT_TRUE(facts.running);
  EXPECT_EQ(facts.clinicFolder, "/srv/Клиника");
  EXPECT_EQ(facts.bookings, "2");
  EXPECT_EQ(facts.pid, CurrentProcessId());

  MainLoopHooks hooks = report->Hooks();
  NullLogger inner;
  auto logger = report->ReportingLogger(inner);
  hooks.databaseTested("ConnectionError: gone");
  EXPECT_EQ(Published().tables, "ConnectionError: gone");
  hooks.databaseTested("");
  clock_.Advance(std::chrono::seconds(30));
  hooks.passEnded(false);
  hooks.passEnded(false);  // told once
  hooks.passEnded(true);
  EXPECT_EQ(Published().lastAnswer, facts.started + 30);
  hooks.failed("QueryError: SQL: bad");
  logger->SetError(4, AnsiText("Ошибка выполнения основного цикла").view());
  logger->SetError(0, "");  // no record, no line
  EXPECT_EQ(inner.errors.size(), 2u);
  report->Stopped();
  facts = Published();
  EXPECT_FALSE(facts.running);
  EXPECT_EQ(facts.stopped, facts.started + 30);

  const std::vector<std::string> expected = {
      "<6>started: clinic folder /srv/Клиника, portal http://p/medic/server.php\n",
      "<2>critical error: Проверьте путь к регистратуре и драйвер FoxPro (the tables in /srv/Клиника cannot "
      "be "
      "opened: ConnectionError: gone)\n",
      "<5>the tables in /srv/Клиника open again\n",
      "<4>no answer from the portal at http://p/medic/server.php\n",
      "<5>the portal answers again\n",
      "<3>error 4: Ошибка выполнения основного цикла (QueryError: SQL: bad)\n",
      "<6>stopped\n"};
  EXPECT_EQ(events_, expected);
}

TEST_F(ServiceReportTest, AnUnconfiguredServiceSaysSo) {
  auto report = MakeReport();
  report->Started(*store_, "", "http://p/medic/server.php", false);
  EXPECT_FALSE(Published().configured);
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[1],
            "<4>not configured: set path, id and pass (vorel_service state set NAME VALUE), then restart\n");
}

}  // namespace
}  // namespace vorel
