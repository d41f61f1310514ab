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

TEST_F(ServiceControlTest, PauseSuspendsTheControlThreadUntilContinue) {
  ServiceControl& control = Make();
  RunInThread();
  reports.WaitFor(SERVICE_RUNNING);
  control.Control(SERVICE_CONTROL_PAUSE);
  reports.WaitFor(SERVICE_PAUSED);
  // A stop while paused waits for the continue; an interrogation is answered at once with the paused state.
  control.Control(SERVICE_CONTROL_STOP);
  control.Control(SERVICE_CONTROL_INTERROGATE);
  EXPECT_EQ(control.state(), static_cast<DWORD>(SERVICE_PAUSED));
  EXPECT_EQ(stops, 0);
  control.Control(SERVICE_CONTROL_CONTINUE);
  Join();
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(reports.states(),
            (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_PAUSE_PENDING, SERVICE_PAUSED,
                                SERVICE_PAUSED, SERVICE_CONTINUE_PENDING, SERVICE_RUNNING,
                                SERVICE_STOP_PENDING, SERVICE_STOPPED}));
}

TEST_F(ServiceControlTest, UnknownRequestsAreRefused) {
  ServiceControl& control = Make();
  EXPECT_EQ(control.Control(SERVICE_CONTROL_PARAMCHANGE), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_EQ(control.Control(200), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace
}  // namespace vorel::windows
