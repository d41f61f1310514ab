#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/service_host.h"

// The service's control thread and the requests that the service control manager hands it. The dispatcher
// thread calls Control(); the control thread runs Run(): it starts the service, then serves the requests in
// the order they came, reporting each state through `report`. Kept apart from the service control manager
// so that every request (shutdown included, which Wine never sends) can be driven directly.
namespace vorel::windows {

class ServiceControl {
 public:
  // Reports a state (SERVICE_RUNNING, ...) with the process's exit code for SERVICE_STOPPED.
  using Report = std::function<void(DWORD state, DWORD exitCode)>;

  ServiceControl(ServiceIdentity identity, ServiceHandlers handlers, Report report);

  // Dispatcher thread. STOP, SHUTDOWN, PAUSE and CONTINUE are queued for the control thread; INTERROGATE
  // reports the current state again. Returns NO_ERROR, or ERROR_CALL_NOT_IMPLEMENTED for other codes.
  DWORD Control(DWORD code);

  // Control thread. Runs `start` (a failure is reported as "Service failed on start: ..." and the service
  // stops), then serves the requests in order until STOP (which runs `stop`) or SHUTDOWN (which does not).
  // PAUSE only reports the paused state until CONTINUE: the work of the main thread goes on, and a STOP
  // or SHUTDOWN ends a paused service as it ends a running one. Returns once SERVICE_STOPPED has been
  // reported.
  void Run();

  bool startFailed() const;
  DWORD state() const;

 private:
  void Enter(DWORD state, DWORD exitCode = NO_ERROR);
  // Waits for the next request.
  DWORD Next();

  ServiceIdentity identity_;
  ServiceHandlers handlers_;
  Report report_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<DWORD> requests_;
  DWORD state_ = SERVICE_STOPPED;
  bool startFailed_ = false;
};

}  // namespace vorel::windows
