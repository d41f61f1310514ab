#include "exchange/main_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "exchange/exchange_fixture.h"
#include "platform/code_page.h"

namespace vorel {
namespace {

using namespace std::chrono_literals;
using test::ExchangeHarness;
using Names = std::vector<std::string>;

// Runs the main loop in its own thread, as the service's main thread would, and stops it on destruction.
class LoopRunner {
 public:
  explicit LoopRunner(ExchangeHarness& h) : h_(h), thread_([this] { RunMainLoop(h_.ctx()); }) {}
  ~LoopRunner() { Stop(); }
  // Requests a stop the way the control thread does and returns how long the loop took to end.
  std::chrono::steady_clock::duration Stop() {
    if (!thread_.joinable()) return {};
    const auto start = std::chrono::steady_clock::now();
    h_.stopFlag = 1;
    h_.client->Disconnect();
    thread_.join();
    return std::chrono::steady_clock::now() - start;
  }

 private:
  ExchangeHarness& h_;
  std::thread thread_;
};

TEST(MainLoop, ResetsPerRunStateTestsTheDatabaseAndPollsUntilStopped) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.state.lastSpecAge = 0x7fffffff;
  h.state.busySlotsFlag = 0;
  std::string connection;
  h.clinic.testConnection = [&](const std::string& text) { connection = text; };
  {
    LoopRunner loop(h);
    ASSERT_TRUE(h.portal.WaitForRequests(3));
  }
  EXPECT_EQ(connection, "Provider=VFPOLEDB;Data Source=" + h.tables.path() +
                            ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN");
  const auto first = h.portal.Requests().at(0);
  EXPECT_NE(first.Field("spec"), nullptr);
  EXPECT_NE(first.Field("busynom"), nullptr);
  EXPECT_TRUE(h.logger.Has("global", "Go."));
  EXPECT_TRUE(h.logger.Has("global", "End."));
  EXPECT_FALSE(h.store.Read("query_time").empty());
  EXPECT_TRUE(h.logger.Errors().empty());
}

TEST(MainLoop, StopDuringARequestEndsTheLoopPromptly) {
  ExchangeHarness h;
  h.portal.holdMs = 2500;  // the portal holds the request
  LoopRunner loop(h);
  ASSERT_TRUE(h.portal.WaitForRequests(1));
  std::this_thread::sleep_for(100ms);
  EXPECT_LT(loop.Stop(), 1500ms);
  EXPECT_EQ(h.portal.Requests().size(), 1u);
  // The broken-off request is handled like any failed POST, and the pass still ends in order.
  bool postError = false;
  for (const auto& line : h.logger.Lines())
    postError |= line.message.starts_with("POST.Error:HttpAbortedError ");
  EXPECT_TRUE(postError);
  EXPECT_EQ(h.logger.Lines().back().message, "End.");
}

TEST(MainLoop, StopWhileTheFormIsBuiltSendsNothingMore) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.clinic.specExport = [&] {
    h.stopFlag = 1;  // the control thread's stop arrives during the export
    return std::string("<spec>");
  };
  RunMainLoop(h.ctx());
  EXPECT_TRUE(h.portal.Requests().empty());
  EXPECT_TRUE(
      h.logger.Has("global", "POST.Error:HttpAbortedError Request broken off: the service is stopping"));
  EXPECT_TRUE(h.logger.Has("global", "End."));
}

TEST(MainLoop, FailedPostsBackOffAndKeepTokenAnswerAndExportsUntilOneSucceeds) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.state.sessionToken = "tok";
  h.state.pendingAnswer = "spec reload";
  h.portal.failStatus = 500;
  std::size_t duringOutage = 0;
  {
    LoopRunner loop(h);
    // Without a pause the loop would send hundreds of requests in this time; with 100, 200, 400, 400... ms
    // between failures it sends a handful.
    std::this_thread::sleep_for(1500ms);
    duringOutage = h.portal.Requests().size();
    EXPECT_GE(duringOutage, 3u);
    EXPECT_LE(duringOutage, 8u);
    h.portal.failStatus = 0;
    ASSERT_TRUE(h.portal.WaitForRequests(duringOutage + 2));
  }
  const auto r = h.portal.Requests();
  // Every failed request and the first one that got through carried the token, the answer and the exports.
  for (std::size_t i = 0; i <= duringOutage; ++i) {
    EXPECT_EQ(r[i].Names(), (Names{"version", "soft", "spec", "nomer", "busynom", "sess", "data"})) << i;
    ASSERT_NE(r[i].Field("sess"), nullptr) << i;
    EXPECT_EQ(*r[i].Field("sess"), "tok");
    ASSERT_NE(r[i].Field("data"), nullptr) << i;
    EXPECT_EQ(*r[i].Field("data"), "spec reload");
  }
  EXPECT_EQ(r[duringOutage + 1].Names(), (Names{"version", "soft", "sess"}));
  EXPECT_EQ(*r[duringOutage + 1].Field("sess"), "1");
  EXPECT_EQ(r[duringOutage + 1].Field("data"), nullptr);
  EXPECT_TRUE(h.logger.Has("global", "POST.Error:HttpStatusError HTTP/1.1 500 Internal Server Error"));
}

TEST(MainLoop, ComesBackAfterAFailedDatabaseTest) {
  ExchangeHarness h;
  h.failConnectionTests = 2;
  h.store.Write("critical_error", "before");
  LoopRunner loop(h);
  ASSERT_TRUE(h.portal.WaitForRequests(1));
  EXPECT_EQ(h.connectionTests, 3);
  EXPECT_EQ(h.store.Read("critical_error"), std::string(AnsiText("Не обнаружено").view()));
  EXPECT_TRUE(h.logger.Lines().empty() || h.logger.Lines().front().message == "Go.");
}

TEST(MainLoop, RecordsAFailedPassAndSetsUpAgain) {
  ExchangeHarness h;
  h.tables.WriteAll();
  int loads = 0;
  Clock::TimePoint lastLoad{};
  h.patientCache.timeOfLastLoad = [&] { return lastLoad; };
  h.patientCache.resetTimeOfLastLoad = [&] { lastLoad = {}; };
  h.patientCache.load = [&] {
    if (++loads == 1) throw std::runtime_error("patient table damaged");
    lastLoad = h.clock.Now();
  };
  LoopRunner loop(h);
  ASSERT_TRUE(h.portal.WaitForRequests(1));
  loop.Stop();
  EXPECT_TRUE(h.logger.Has("system", "CRITICAL ERROR!"));
  const auto errors = h.logger.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].first, 4);
  EXPECT_EQ(errors[0].second, std::string(AnsiText("Ошибка выполнения основного цикла").view()));
  EXPECT_EQ(h.connectionTests, 2);  // the set-up ran again
  // The new run starts over: every export is sent again with the first request that goes out.
  const auto first = h.portal.Requests().at(0);
  EXPECT_NE(first.Field("spec"), nullptr);
  EXPECT_NE(first.Field("busynom"), nullptr);
  EXPECT_EQ(loads, 2);
}

TEST(MainLoop, StopEndsARecoveryWaitAtOnce) {
  ExchangeHarness h;
  h.failConnectionTests = 1000;
  h.ctx().timing.recoveryFirst = 60s;
  LoopRunner loop(h);
  while (h.connectionTests == 0) std::this_thread::sleep_for(5ms);
  EXPECT_LT(loop.Stop(), 500ms);
  EXPECT_EQ(h.store.Read("critical_error"),
            std::string(AnsiText("Проверьте путь к регистратуре и драйвер FoxPro").view()));
  EXPECT_TRUE(h.portal.Requests().empty());
  EXPECT_TRUE(h.logger.Lines().empty());
}

TEST(ProxySettings, AppliedOnlyAsFarAsTheyAreValid) {
  ExchangeHarness h;
  ProxySettings& proxy = h.client->proxy();
  proxy.basicAuth = true;
  ApplyProxySettings(h.ctx());
  EXPECT_FALSE(proxy.basicAuth);
  EXPECT_EQ(h.settings.Get("proxy"), "");

  h.store.Write("proxy", "10.0.0.1");
  h.store.Write("proxylogin", "user");
  h.store.Write("proxypass", "pw");
  h.store.Write("proxyport", "31x");
  ApplyProxySettings(h.ctx());
  EXPECT_EQ(proxy.host, "10.0.0.1");
  EXPECT_EQ(proxy.user, "user");
  EXPECT_EQ(proxy.password, "pw");
  EXPECT_EQ(proxy.port, 8080);
  EXPECT_FALSE(proxy.basicAuth);
  EXPECT_EQ(h.settings.Get("proxyport"), "31x");

  h.store.Write("proxyport", "3128");
  ApplyProxySettings(h.ctx());
  EXPECT_EQ(proxy.port, 3128);
  EXPECT_TRUE(proxy.basicAuth);

  h.store.Write("proxy", "");
  ApplyProxySettings(h.ctx());
  EXPECT_EQ(proxy.host, "10.0.0.1");  // the server setting is left as it was
  EXPECT_FALSE(proxy.basicAuth);
}

}  // namespace
}  // namespace vorel
