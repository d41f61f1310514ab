#include <windows.h>
// windows.h names CharToOemA AnsiToOem, which is the service's own conversion here.
#undef AnsiToOem

#include <cstdio>
#include <exception>
#include <optional>
#include <thread>

#include "platform/code_page.h"
#include "platform/service_events.h"
#include "platform/service_host.h"
#include "platform/windows/service_control.h"
#include "platform/windows/system_text.h"

// The service under the service control manager. Three threads: the main thread runs the message loop
// (`runMainThread`); a dispatcher thread connects the process to the service control manager and hands its
// requests to the control thread; the control thread, which the service control manager starts for the
// service, runs `start`, `stop` and the status reports.
namespace vorel {
namespace {

struct ServiceHost {
  const ServiceIdentity& identity;
  std::optional<windows::ServiceControl> control;
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  DWORD checkPoint = 0;
};

// The service main function of the system has no context argument: the one host of this process is found
// here. Set by RunServiceHost before the dispatcher starts and cleared after it has returned.
ServiceHost* g_host = nullptr;

void ReportStatus(ServiceHost& host, DWORD state, DWORD exitCode) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_START_PENDING || state == SERVICE_STOPPED
          ? 0
          : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  if (exitCode != NO_ERROR) {
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
  }
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                       state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
  status.dwCheckPoint = pending ? ++host.checkPoint : 0;
  status.dwWaitHint = pending ? 30000 : 0;
  SetServiceStatus(host.statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD code, DWORD /*eventType*/, void* /*eventData*/, void* context) {
  return static_cast<ServiceHost*>(context)->control->Control(code);
}

void WINAPI ServiceMain(DWORD /*argc*/, char** /*argv*/) {
  ServiceHost& host = *g_host;
  host.statusHandle = RegisterServiceCtrlHandlerExA(host.identity.name.c_str(), ControlHandler, &host);
  if (host.statusHandle == nullptr) {
    ReportServiceFailure(host.identity, "start",
                         "cannot register the control handler: " + windows::SystemErrorText(GetLastError()));
    return;
  }
  host.control->Run();
}

}  // namespace

void ReportServiceFailure(const ServiceIdentity& identity, std::string_view phase, std::string_view message) {
  const std::string text = "Service failed on " + std::string(phase) + ": " + std::string(message);
  // An operator who runs the program by hand sees it too.
  std::fprintf(stderr, "%s\n", AnsiToOem(text).c_str());
  std::fflush(stderr);
  ReportServiceEvent(identity, EventPriority::kError, text);
}

int RunServiceHost(const ServiceIdentity& identity, const ServiceHandlers& handlers) {
  ServiceHost host{identity, std::nullopt};
  host.control.emplace(identity, handlers,
                       [&host](DWORD state, DWORD exitCode) { ReportStatus(host, state, exitCode); });
  g_host = &host;

  DWORD dispatchError = NO_ERROR;
  std::thread dispatcher([&] {
    std::string name = identity.name;
    SERVICE_TABLE_ENTRYA table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) dispatchError = GetLastError();
    // The service has stopped (or never ran): the main thread leaves its loop once its work has ended.
    handlers.quitMainThread();
  });

  bool mainFailed = false;
  try {
    handlers.runMainThread();
  } catch (const std::exception& e) {
    ReportServiceFailure(identity, "execute", e.what());
    mainFailed = true;
    host.control->Control(SERVICE_CONTROL_STOP);  // lets the service stop
  }
  dispatcher.join();
  g_host = nullptr;
  if (dispatchError != NO_ERROR) {
    ReportServiceFailure(
        identity, "start",
        "not started by the service control manager: " + windows::SystemErrorText(dispatchError));
    return 1;
  }
  return host.control->startFailed() || mainFailed ? 1 : 0;
}

void NotifyServiceReady() {}
void NotifyServiceStopping() {}
void NotifyServiceAlive() {}

std::string ServiceUnitName(const ServiceIdentity& identity) {
  return identity.name;
}

}  // namespace vorel
