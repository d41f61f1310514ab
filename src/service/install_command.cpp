#include <cstdio>
#include <exception>
#include <string>

#include "platform/code_page.h"
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
      std::fprintf(stderr, "Service \"%s\" failed to %s with error: \"%s\"\n", identity.name.c_str(),
                   install ? "install" : "uninstall", AnsiToUtf8(e.what()).c_str());
    }
    return 1;
  }
  if (!silent) std::puts(install ? "Service installed successfully" : "Service uninstalled successfully");
  return 0;
}

}  // namespace vorel
