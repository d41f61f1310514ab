#include "platform/windows/service_control.h"

#include <exception>

#include "platform/error.h"

namespace vorel::windows {
namespace {

// The exit code of a service whose start failed: its own error, number 1.
constexpr DWORD kStartFailedExitCode = 1;

}  // namespace

ServiceControl::ServiceControl(ServiceIdentity identity, ServiceHandlers handlers, Report report)
    : identity_(std::move(identity)), handlers_(std::move(handlers)), report_(std::move(report)) {}

DWORD ServiceControl::Control(DWORD code) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: {
      std::lock_guard lock(mutex_);
      requests_.push_back(code);
      wake_.notify_all();
      return NO_ERROR;
    }
    case SERVICE_CONTROL_INTERROGATE:
      report_(state(), NO_ERROR);
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void ServiceControl::Enter(DWORD state, DWORD exitCode) {
  {
    std::lock_guard lock(mutex_);
    state_ = state;
  }
  report_(state, exitCode);
}

DWORD ServiceControl::Next() {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return !requests_.empty(); });
  const DWORD code = requests_.front();
  requests_.pop_front();
  return code;
}

void ServiceControl::Run() {
  Enter(SERVICE_START_PENDING);
  try {
    handlers_.start();
  } catch (...) {
    ReportServiceFailure(identity_, "start", MessageOf(std::current_exception()));
    {
      std::lock_guard lock(mutex_);
      startFailed_ = true;
    }
    Enter(SERVICE_STOPPED, kStartFailedExitCode);
    return;
  }
  Enter(SERVICE_RUNNING);
  bool paused = false;
  for (;;) {
    const DWORD code = Next();
    switch (code) {
      case SERVICE_CONTROL_STOP:
        Enter(SERVICE_STOP_PENDING);
        try {
          handlers_.stop();
        } catch (...) {
          // The service still stops: the service control manager asked for it.
          ReportServiceFailure(identity_, "stop", MessageOf(std::current_exception()));
        }
        Enter(SERVICE_STOPPED);
        return;
      case SERVICE_CONTROL_SHUTDOWN:
        // The system is going down: the control thread ends without the stop handler.
        Enter(SERVICE_STOP_PENDING);
        Enter(SERVICE_STOPPED);
        return;
      case SERVICE_CONTROL_PAUSE:
        if (!paused) {
          Enter(SERVICE_PAUSE_PENDING);
          Enter(SERVICE_PAUSED);
          paused = true;
        }
        break;
      case SERVICE_CONTROL_CONTINUE:
        if (paused) Enter(SERVICE_CONTINUE_PENDING);
        Enter(SERVICE_RUNNING);
        paused = false;
        break;
    }
  }
}

bool ServiceControl::startFailed() const {
  std::lock_guard lock(mutex_);
  return startFailed_;
}

DWORD ServiceControl::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

}  // namespace vorel::windows
