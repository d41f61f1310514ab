#include <pthread.h>
#include <signal.h>
#include <syslog.h>
#include <systemd/sd-daemon.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>

#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/service_host.h"

namespace vorel {

void NotifyServiceReady() {
  sd_notify(0, "READY=1");
}
void NotifyServiceStopping() {
  sd_notify(0, "STOPPING=1");
}
void NotifyServiceAlive() {
  sd_notify(0, "WATCHDOG=1");
}

std::string ServiceUnitName(const ServiceIdentity& identity) {
  // systemd's unit name characters only: the name goes into scripts and file names.
  const char* unit = std::getenv("VOREL_UNIT");
  if (unit == nullptr || *unit == '\0' || std::strlen(unit) > 255) return identity.name;
  for (const char* c = unit; *c != '\0'; ++c) {
    if (std::strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789:-_.@\\", *c) == nullptr) {
      return identity.name;
    }
  }
  return unit;
}

void ReportServiceFailure(const ServiceIdentity& identity, std::string_view phase, std::string_view message) {
  const std::string text = "Service failed on " + std::string(phase) + ": " + AnsiToUtf8(message);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  openlog(identity.name.c_str(), LOG_PID, LOG_DAEMON);
  syslog(LOG_ERR, "%s", text.c_str());
  closelog();
}

int RunServiceHost(const ServiceIdentity& identity, const ServiceHandlers& handlers) {
  // The stop signals are taken only by the control thread's sigwait; every thread started from here on
  // inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);

  std::atomic<bool> startFailed{false};
  std::thread control([&] {
    try {
      handlers.start();
    } catch (...) {
      ReportServiceFailure(identity, "start", MessageOf(std::current_exception()));
      startFailed = true;
      handlers.quitMainThread();
      return;
    }
    NotifyServiceReady();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    NotifyServiceStopping();
    try {
      handlers.stop();
    } catch (...) {
      // The process still stops: the service manager asked for it.
      ReportServiceFailure(identity, "stop", MessageOf(std::current_exception()));
    }
    handlers.quitMainThread();
  });

  bool mainFailed = false;
  try {
    handlers.runMainThread();
  } catch (...) {
    ReportServiceFailure(identity, "execute", MessageOf(std::current_exception()));
    mainFailed = true;
    if (!startFailed) pthread_kill(control.native_handle(), SIGTERM);  // lets the control thread stop
  }
  control.join();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return startFailed || mainFailed ? 1 : 0;
}

}  // namespace vorel
