#include "service/status_check.h"

#include <gtest/gtest.h>

namespace vorel {
namespace {

constexpr int64_t kNow = 1'800'000'000;

// A service that started an hour ago, has just been alive and heard the portal 10 s ago.
StatusFacts Healthy() {
  StatusFacts f;
  f.pid = 4242;
  f.running = f.configured = true;
  f.started = kNow - 3600;
  f.heartbeat = kNow - 2;
  f.clinicFolder = "/srv/clinic";
  f.portal = "http://portal.example/medic/server.php";
  f.tables = "ok";
  f.lastRequest = kNow - 9;
  f.lastAnswer = kNow - 10;
  f.errorMessage = f.criticalError = "Не обнаружено";
  f.bookings = "3";
  return f;
}

TEST(StatusCheck, JudgesLikeAMonitoringPlugin) {
  struct Case {
    const char* name;
    bool running;
    bool withFacts;
    void (*change)(StatusFacts&);
    MonitorState state;
    const char* firstLine;
  };
  const Case cases[] = {
      {"healthy", true, true, [](StatusFacts&) {}, MonitorState::kOk,
       "VOREL OK - running, the portal answered 10 s ago"},
      {"never ran", false, false, [](StatusFacts&) {}, MonitorState::kCritical,
       "VOREL CRITICAL - not running (it has never run on the state store /var/lib/x/state.db)"},
      {"crashed with a healthy record", false, true, [](StatusFacts&) {}, MonitorState::kCritical,
       "VOREL CRITICAL - not running"},
      {"no record yet", true, false, [](StatusFacts&) {}, MonitorState::kUnknown,
       "VOREL UNKNOWN - running, but it has written no status record yet"},
      {"not configured", true, true, [](StatusFacts& f) { f.configured = false; }, MonitorState::kWarning,
       "VOREL WARNING - not configured: set path, id and pass (vorel_service state set NAME VALUE), then "
       "restart"},
      {"tables", true, true, [](StatusFacts& f) { f.tables = "ConnectionError: no folder"; },
       MonitorState::kCritical,
       "VOREL CRITICAL - the tables in /srv/clinic cannot be opened: ConnectionError: no folder"},
      {"stuck", true, true, [](StatusFacts& f) { f.heartbeat = kNow - kStuckAfter - 60; },
       MonitorState::kWarning, "VOREL WARNING - the main loop has not moved for 16 min"},
      {"portal silent", true, true, [](StatusFacts& f) { f.lastAnswer = kNow - 601; }, MonitorState::kWarning,
       "VOREL WARNING - the portal has not answered for 10 min"},
      {"never answered", true, true, [](StatusFacts& f) { f.lastAnswer = 0; }, MonitorState::kWarning,
       "VOREL WARNING - no answer from the portal since the start 60 min ago"},
      {"young, not answered yet", true, true,
       [](StatusFacts& f) {
         f.lastAnswer = 0;
         f.started = kNow - 30;
       },
       MonitorState::kOk, "VOREL OK - running, started 30 s ago"},
  };
  for (const Case& c : cases) {
    StatusInput input;
    input.running = c.running;
    input.now = kNow;
    input.stateStore = "/var/lib/x/state.db";
    if (c.withFacts) {
      input.facts = Healthy();
      c.change(*input.facts);
    }
    const StatusVerdict verdict = JudgeStatus(input);
    EXPECT_EQ(verdict.state, c.state) << c.name;
    EXPECT_EQ(verdict.text.substr(0, verdict.text.find('\n')), c.firstLine) << c.name;
  }
}

TEST(StatusCheck, DetailsComeThroughTheRecord) {
  StatusFacts facts = Healthy();
  facts.error = "11";
  facts.errorMessage = "Ошибка обработки команды zapis\r\nsecond line";
  facts.errorTime = "07.12.2026 22:38:35";
  StatusInput input;
  input.running = true;
  input.now = kNow;
  input.stateStore = "/var/lib/x/state.db";
  input.facts = ParseStatusRecord(StatusRecordText(facts));
  EXPECT_EQ(input.facts->pid, 4242);
  EXPECT_EQ(input.facts->lastAnswer, kNow - 10);
  EXPECT_TRUE(input.facts->configured);
  const std::string text = JudgeStatus(input).text;
  for (const char* line :
       {"\nportal:         http://portal.example/medic/server.php\n",
        "\nclinic folder:  /srv/clinic (tables open)\n",
        "\nlast error:     11 Ошибка обработки команды zapis  second line at 07.12.2026 22:38:35\n",
        "\ncritical_error: none\n", "\nbookings:       3 since the start\n",
        "\nstate store:    /var/lib/x/state.db\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
  }
}

}  // namespace
}  // namespace vorel
