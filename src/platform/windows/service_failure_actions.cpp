#include "platform/windows/service_failure_actions.h"

#include "platform/error.h"
#include "platform/windows/system_text.h"

namespace vorel::windows {

ServiceFailureActions::ServiceFailureActions() : actions_{}, flag_{} {
  // The first, second and every later failure alike.
  steps_.fill(SC_ACTION{SC_ACTION_RESTART, kRestartDelayMs});
  actions_.dwResetPeriod = kResetPeriodSeconds;
  actions_.cActions = static_cast<DWORD>(steps_.size());
  actions_.lpsaActions = steps_.data();
  flag_.fFailureActionsOnNonCrashFailures = TRUE;
}

std::string ServiceFailureActions::Describe() const {
  return "restarted after " + std::to_string(kRestartDelayMs / 1000) + " s (failures counted anew after " +
         std::to_string(kResetPeriodSeconds / 3600) + " hours)";
}

std::string ServiceFailureActions::ApplyTo(SC_HANDLE service) const {
  // The wide function: the structures carry no text, and the ANSI one of some systems knows no flag.
  auto actions = actions_;
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions)) {
    throw Error("cannot set the failure actions: " + SystemErrorText(GetLastError()));
  }
  auto flag = flag_;
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
    return "After a crash: " + Describe() + "; after an exit with an error: not set (" +
           SystemErrorText(GetLastError()) + ")";
  }
  return "After a crash or an exit with an error: " + Describe();
}

}  // namespace vorel::windows
