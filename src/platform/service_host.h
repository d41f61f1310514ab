#pragma once

#include <functional>
#include <string>
#include <string_view>

// Hosting the one service of this program under the system's service manager (POSIX: a foreground process
// under systemd, stopped by SIGTERM or SIGINT; Windows: the service control manager).
namespace vorel {

struct ServiceIdentity {
  std::string name;         // the service name, e.g. "VorelService"
  std::string displayName;  // Windows-1251
};

// What the host drives. `start` and `stop` run on the host's control thread; `runMainThread` runs on the
// thread that called RunServiceHost and returns once `quitMainThread` has been called and the work it was
// doing has ended.
struct ServiceHandlers {
  std::function<void()> start;  // fails by throwing; the host reports the message
  std::function<void()> stop;
  std::function<void()> runMainThread;
  std::function<void()> quitMainThread;  // called from the control thread
};

// Runs the service until it is stopped. The control thread runs `start` at once and `stop` when the
// service manager asks the service to stop. Returns the exit status of the process: 0 after an orderly
// stop, 1 when the start failed (after reporting "Service failed on start: " + message).
int RunServiceHost(const ServiceIdentity& identity, const ServiceHandlers& handlers);

// What the service manager hears besides start and stop. POSIX: systemd's notification protocol, when it
// asked for it (a unit of Type=notify; nothing otherwise); Windows: nothing, the status reports say it.
// RunServiceHost reports "ready" once `start` has returned and "stopping" before `stop` runs; the service
// reports "alive" wherever its main loop is known to be alive, for the watchdog.
void NotifyServiceReady();
void NotifyServiceStopping();
void NotifyServiceAlive();

// The name of the unit this process runs under, which the restart and update scripts stop and start.
// POSIX: $VOREL_UNIT (the unit file passes its own name, "%n") when it is a plausible unit name, else the
// identity's name; Windows: the identity's name.
std::string ServiceUnitName(const ServiceIdentity& identity);

// Writes "Service failed on <phase>: <message>" (message in Windows-1251) where the platform keeps the
// failures of services (POSIX: standard error and syslog; Windows: the event log).
void ReportServiceFailure(const ServiceIdentity& identity, std::string_view phase, std::string_view message);

}  // namespace vorel
