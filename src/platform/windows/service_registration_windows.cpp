#include <windows.h>

#include <chrono>
#include <thread>

#include "platform/program_location.h"
#include "platform/service_registration.h"
#include "platform/windows/event_source_registration.h"
#include "platform/windows/service_failure_actions.h"
#include "platform/windows/system_text.h"

// Registering the service with the service control manager: its own process, started with the system,
// errors ignored at boot, never interactive, running as LocalSystem, started again after a failure, and a
// source of the event log whose texts come from this program.
namespace vorel {
namespace {

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

[[noreturn]] void FailWithLastError() {
  throw Error(windows::SystemErrorText(GetLastError()));
}

SC_HANDLE OpenManager() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) FailWithLastError();
  return manager;
}

// Asks a running service to stop and waits until it has (a minute at most); false when it was not running.
bool StopAndWait(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) FailWithLastError();
  if (status.dwCurrentState == SERVICE_STOPPED) return false;
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    // Wine reports a service that never ran as neither running nor stopped.
    if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE) return false;
    FailWithLastError();
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
    if (std::chrono::steady_clock::now() > until) throw Error("the service did not stop within a minute");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

}  // namespace

std::string InstallService(const ServiceIdentity& identity) {
  const std::string program = ProgramPath();
  const std::string command = "\"" + program + "\"";
  ServiceHandle manager(OpenManager());
  ServiceHandle service(CreateServiceA(manager.get(), identity.name.c_str(), identity.displayName.c_str(),
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                       SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr, nullptr,
                                       nullptr, nullptr));
  if (!service) FailWithLastError();
  std::string report = "Registered with the service control manager: " + command + ", automatic start\n";
  try {
    report += windows::ServiceFailureActions().ApplyTo(service.get()) + "\n";
    windows::WriteEventSource(identity.name, program);
  } catch (...) {
    // Half a registration helps nobody: the next /INSTALL must find none.
    DeleteService(service.get());
    throw;
  }
  return report + "Event log source " + identity.name + ": its messages from " + command;
}

std::string UninstallService(const ServiceIdentity& identity) {
  ServiceHandle manager(OpenManager());
  ServiceHandle service(OpenServiceA(manager.get(), identity.name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) FailWithLastError();
  // A running service would only be marked for deletion, and a new registration refused until it stops.
  std::string report = StopAndWait(service.get()) ? "Stopped the service\n" : "";
  if (!DeleteService(service.get())) FailWithLastError();
  report += "Removed from the service control manager";
  if (windows::RemoveEventSource(identity.name)) report += "\nEvent log source " + identity.name + " removed";
  return report;
}

}  // namespace vorel
