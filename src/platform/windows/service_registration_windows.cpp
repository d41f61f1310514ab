#include <windows.h>

#include "platform/program_location.h"
#include "platform/service_registration.h"
#include "platform/windows/system_text.h"

// Registering the service with the service control manager: its own process, started with the system,
// errors ignored at boot, never interactive, running as LocalSystem.
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

}  // namespace

std::string InstallService(const ServiceIdentity& identity) {
  const std::string command = "\"" + ProgramPath() + "\"";
  ServiceHandle manager(OpenManager());
  ServiceHandle service(CreateServiceA(manager.get(), identity.name.c_str(), identity.displayName.c_str(),
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                       SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr, nullptr,
                                       nullptr, nullptr));
  if (!service) FailWithLastError();
  std::string report = "Registered with the service control manager: ";
  report += command;
  return report + ", automatic start";
}

std::string UninstallService(const ServiceIdentity& identity) {
  ServiceHandle manager(OpenManager());
  ServiceHandle service(OpenServiceA(manager.get(), identity.name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) FailWithLastError();
  if (!DeleteService(service.get())) FailWithLastError();
  return "Removed from the service control manager";
}

}  // namespace vorel
