#include <exception>
#include <string>

#include "platform/operator_message.h"
#include "platform/service_registration.h"
#include "service/operator_commands.h"
#include "service/service_identity.h"

namespace vorel {

int RunInstallCommand(bool install, bool silent) {
  const ServiceIdentity identity = VorelServiceIdentity();
  std::string report;
  try {
    report = install ? InstallService(identity) : UninstallService(identity);
  } catch (const std::exception& e) {
    if (!silent) {
      ShowOperatorMessage("Service \"" + identity.name + "\" failed to " +
                              (install ? "install" : "uninstall") + " with error: \"" + e.what() + "\"",
                          true);
    }
    return 1;
  }
  if (!silent) {
    std::string message = install ? "Service installed successfully" : "Service uninstalled successfully";
    if (!report.empty()) message += "\n" + report;
    ShowOperatorMessage(message, false);
  }
  return 0;
}

}  // namespace vorel
