#include "platform/service_host.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace vorel {
namespace {

const ServiceIdentity kIdentity{"VorelServiceTest", "test"};

// A main thread that waits for its quit request, noting what happened in order.
class FakeService {
 public:
  ServiceHandlers Handlers() {
    ServiceHandlers h;
    h.start = [this] {
      Note("start");
      if (failStart) throw std::runtime_error("cannot open");
      if (signalAfterStart) kill(getpid(), SIGTERM);  // the way systemd asks a service to stop
    };
    h.stop = [this] { Note("stop"); };
    h.runMainThread = [this] {
      std::unique_lock lock(mutex_);
      if (failMain) throw std::runtime_error("main thread failed");
      quitRequested_.wait(lock, [this] { return quit_; });
      events_.push_back("main returned");
    };
    h.quitMainThread = [this] {
      std::lock_guard lock(mutex_);
      events_.push_back("quit");
      quit_ = true;
      quitRequested_.notify_all();
    };
    return h;
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

  bool failStart = false;
  bool failMain = false;
  bool signalAfterStart = false;

 private:
  void Note(const char* event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
  }
  std::mutex mutex_;
  std::condition_variable quitRequested_;
  bool quit_ = false;
  std::vector<std::string> events_;
};

// The messages a unit of Type=notify hears, read from the socket systemd would give in NOTIFY_SOCKET.
class NotifySocket {
 public:
  NotifySocket() {
    const std::string path = folder_ / "notify";
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
  }
  ~NotifySocket() {
    unsetenv("NOTIFY_SOCKET");
    close(fd_);
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> messages;
    char buffer[256];
    ssize_t n;
    while ((n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) messages.emplace_back(buffer, n);
    return messages;
  }

 private:
  testing::TempFolder folder_;
  int fd_ = -1;
};

TEST(ServiceHost, StopSignalStopsTheServiceAndEndsTheMainThread) {
  NotifySocket systemd;
  FakeService service;
  service.signalAfterStart = true;
  EXPECT_EQ(RunServiceHost(kIdentity, service.Handlers()), 0);
  EXPECT_EQ(service.Events(), (std::vector<std::string>{"start", "stop", "quit", "main returned"}));
  NotifyServiceAlive();
  EXPECT_EQ(systemd.Messages(), (std::vector<std::string>{"READY=1", "STOPPING=1", "WATCHDOG=1"}));
}

TEST(ServiceHost, FailedStartIsReportedAndNeverStops) {
  FakeService service;
  service.failStart = true;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunServiceHost(kIdentity, service.Handlers()), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Service failed on start: cannot open\n");
  EXPECT_EQ(service.Events(), (std::vector<std::string>{"start", "quit", "main returned"}));
}

TEST(ServiceHost, FailedMainThreadStillStopsTheService) {
  FakeService service;
  service.failMain = true;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunServiceHost(kIdentity, service.Handlers()), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Service failed on execute: main thread failed\n");
  const auto events = service.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1], "stop");
}

// The unit passes its own name; anything that is not a unit name falls back to the service's name.
TEST(ServiceHost, UnitNameComesFromTheEnvironment) {
  const std::pair<const char*, std::string> cases[] = {
      {"VorelService@clinic2.service", "VorelService@clinic2.service"},
      {"VorelService@a\\x2db.service", "VorelService@a\\x2db.service"},
      {"", kIdentity.name},
      {"x; rm -rf /", kIdentity.name},
      {"a'b", kIdentity.name},
  };
  for (const auto& [value, expected] : cases) {
    setenv("VOREL_UNIT", value, 1);
    EXPECT_EQ(ServiceUnitName(kIdentity), expected) << value;
  }
  unsetenv("VOREL_UNIT");
  EXPECT_EQ(ServiceUnitName(kIdentity), kIdentity.name);
}

}  // namespace
}  // namespace vorel
