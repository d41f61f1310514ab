#include <exception>
#include <string>

#include "platform/operator_message.h"
#include "platform/service_registration.h"
#include "service/operator_commands.h"
#include "service/service_identity.h"

namespace vorel {

int RunInstallCommand(bool install, bool silent) {
  const ServiceIdentity identity = VorelServiceIdentity();
  try {
    if (install) {
      InstallService(identity);
    } else {
      UninstallService(identity);
    }
  } catch (const std::exception& e) {
    if (!silent) {
      ShowOperatorMessage("Service \"" + identity.name + "\" failed to " +
                              (install ? "install" : "uninstall") + " with error: \"" + e.what() + "\"",
                          true);
    }
    return 1;
  }
  if (!silent)
    ShowOperatorMessage(install ? "Service installed successfully" : "Service uninstalled successfully",
                        false);
  return 0;
}

}  // namespace vorel
