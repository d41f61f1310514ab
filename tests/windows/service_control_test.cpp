#include "platform/windows/service_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

// The control thread driven directly, with every request the service control manager can send (Wine never
// sends SHUTDOWN, and its sc cannot pause).
namespace vorel::windows {
namespace {

class Reports {
 public:
  void Add(DWORD state, DWORD exitCode) {
    std::lock_guard lock(mutex_);
    states_.push_back(state);
    exitCodes_.push_back(exitCode);
    changed_.notify_all();
  }
  void WaitFor(DWORD state) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return std::find(states_.begin(), states_.end(), state) != states_.end(); });
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    states_.clear();
    exitCodes_.clear();
  }
  std::vector<DWORD> states() {
    std::lock_guard lock(mutex_);
    return states_;
  }
  DWORD lastExitCode() {
    std::lock_guard lock(mutex_);
    return exitCodes_.back();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DWORD> states_, exitCodes_;
};

class ServiceControlTest : public ::testing::Test {
 protected:
  ServiceControl& Make(std::function<void()> start = [] {}) {
    ServiceHandlers handlers;
    handlers.start = std::move(start);
    handlers.stop = [this] { ++stops; };
    control_.emplace(ServiceIdentity{"VorelServiceTest", "Test"}, handlers,
                     [this](DWORD state, DWORD exitCode) { reports.Add(state, exitCode); });
    return *control_;
  }
  void RunInThread() {
    thread_ = std::thread([this] { control_->Run(); });
  }
  void Join() { thread_.join(); }

  Reports reports;
  std::atomic<int> stops{0};
  std::optional<ServiceControl> control_;
  std::thread thread_;
};

TEST_F(ServiceControlTest, StopRunsTheStopHandlerAndReportsEachState) {
  ServiceControl& control = Make();
  RunInThread();
  reports.WaitFor(SERVICE_RUNNING);
  EXPECT_EQ(control.Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(NO_ERROR));
  Join();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(reports.states(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                  SERVICE_STOP_PENDING, SERVICE_STOPPED}));
  EXPECT_EQ(reports.lastExitCode(), static_cast<DWORD>(NO_ERROR));
  EXPECT_FALSE(control.startFailed());
}

TEST_F(ServiceControlTest, FailedStartStopsWithAnErrorAndNeverRunsStop) {
  ServiceControl& control = Make([] { throw std::runtime_error("Failed to set data for 'version'"); });
  control.Run();
  EXPECT_TRUE(control.startFailed());
  EXPECT_EQ(stops, 0);
  EXPECT_EQ(reports.states(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_STOPPED}));
  EXPECT_NE(reports.lastExitCode(), static_cast<DWORD>(NO_ERROR));
}

TEST_F(ServiceControlTest, ShutdownEndsTheControlThreadWithoutTheStopHandler) {
  ServiceControl& control = Make();
  RunInThread();
  reports.WaitFor(SERVICE_RUNNING);
  control.Control(SERVICE_CONTROL_SHUTDOWN);
  Join();
  EXPECT_EQ(stops, 0);
  EXPECT_EQ(reports.states(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                  SERVICE_STOP_PENDING, SERVICE_STOPPED}));
}

// A paused service continues on CONTINUE, and a STOP or SHUTDOWN ends it without one (`net stop` of a
// paused service must not hang); a second PAUSE changes nothing.
TEST_F(ServiceControlTest, PausedServiceContinuesOrStops) {
  constexpr DWORD kBegin[] = {SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_PAUSE_PENDING, SERVICE_PAUSED};
  const struct {
    std::vector<DWORD> requests;
    std::vector<DWORD> laterStates;
    int stops;
  } cases[] = {
      {{SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP},
       {SERVICE_CONTINUE_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOPPED},
       1},
      {{SERVICE_CONTROL_STOP}, {SERVICE_STOP_PENDING, SERVICE_STOPPED}, 1},
      {{SERVICE_CONTROL_SHUTDOWN}, {SERVICE_STOP_PENDING, SERVICE_STOPPED}, 0},
  };
  for (const auto& c : cases) {
    reports.Clear();
    stops = 0;
    ServiceControl& control = Make();
    RunInThread();
    reports.WaitFor(SERVICE_RUNNING);
    control.Control(SERVICE_CONTROL_PAUSE);
    reports.WaitFor(SERVICE_PAUSED);
    EXPECT_EQ(control.state(), static_cast<DWORD>(SERVICE_PAUSED));
    for (DWORD request : c.requests) control.Control(request);
    Join();
    std::vector<DWORD> expected(std::begin(kBegin), std::end(kBegin));
    expected.insert(expected.end(), c.laterStates.begin(), c.laterStates.end());
    EXPECT_EQ(reports.states(), expected) << "after request " << c.requests.front();
    EXPECT_EQ(stops, c.stops) << "after request " << c.requests.front();
  }
}

TEST_F(ServiceControlTest, UnknownRequestsAreRefused) {
  ServiceControl& control = Make();
  EXPECT_EQ(control.Control(SERVICE_CONTROL_PARAMCHANGE), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_EQ(control.Control(200), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace
}  // namespace vorel::windows
