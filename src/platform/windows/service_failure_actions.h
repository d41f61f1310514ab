#pragma once

#include <windows.h>

#include <array>
#include <string>

// What the service control manager does when the service ends without being asked to: it starts it again
// after a few seconds, as systemd's Restart=on-failure does with the unit, also after an exit with an error
// (not only after a crash); the count of failures starts anew after a day without one.
namespace vorel::windows {

class ServiceFailureActions {
 public:
  static constexpr DWORD kRestartDelayMs = 10000;
  static constexpr DWORD kResetPeriodSeconds = 24 * 60 * 60;

  ServiceFailureActions();
  ServiceFailureActions(const ServiceFailureActions&) = delete;
  ServiceFailureActions& operator=(const ServiceFailureActions&) = delete;

  // The structures ChangeServiceConfig2 takes, valid as long as this object.
  const SERVICE_FAILURE_ACTIONSW& actions() const { return actions_; }
  const SERVICE_FAILURE_ACTIONS_FLAG& flag() const { return flag_; }

  // For the operator: "restarted after 10 s (failures counted anew after a day)".
  std::string Describe() const;

  // Sets them on an open service (SERVICE_CHANGE_CONFIG and SERVICE_START access) and says what was set.
  // Fails with vorel::Error carrying the system's reason; a service manager that cannot take the flag
  // (Wine's) restarts after a crash only, and the text says so.
  std::string ApplyTo(SC_HANDLE service) const;

 private:
  std::array<SC_ACTION, 3> steps_;
  SERVICE_FAILURE_ACTIONSW actions_;
  SERVICE_FAILURE_ACTIONS_FLAG flag_;
};

}  // namespace vorel::windows
