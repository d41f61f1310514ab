#pragma once

#include <string>

#include "platform/error.h"
#include "platform/service_host.h"

// The systemd unit through which the service is installed on POSIX systems.
namespace vorel {

struct SystemdUnitOptions {
  std::string unitFolder;     // where the unit file goes
  std::string programPath;    // the program the unit starts
  std::string stateLocation;  // VOREL_STATE of the started program; of a template, the stores' folder
  // A template unit (NAME@.service): instance NAME keeps its store in the folder `stateLocation` as NAME.db.
  bool templateUnit = false;
  // VOREL_UPDATE_FOLDER of the started program: where adm_update keeps the portal's program when the
  // installed one must stay as installed (a package's); empty: adm_update replaces the installed one.
  std::string updateFolder;
  bool systemdRunning = false;
  std::string systemctl = "systemctl";  // the program that reloads, enables and disables units
};

// From the environment: unit folder $VOREL_UNIT_DIR (default /etc/systemd/system), this program, the state
// store location, systemd running when /run/systemd/system exists, systemctl from $VOREL_SYSTEMCTL.
SystemdUnitOptions SystemdUnitOptionsFromEnvironment();

// The unit file's name: NAME.service, or NAME@.service for a template.
std::string SystemdUnitPath(const ServiceIdentity& identity, const SystemdUnitOptions& options);
// The unit: Type=notify, restarted after a failure, and sandboxed as far as the service's work allows.
std::string SystemdUnitText(const ServiceIdentity& identity, const SystemdUnitOptions& options);

// Install writes the unit file (failing when it exists already) and, when systemd is running, reloads the
// units and enables the new one; a failure leaves no unit file behind. Uninstall disables the unit when
// systemd is running, removes the file and reloads the units; a missing unit file fails. Both return what
// they did (the unit file, whether systemd was told) and fail with the system's or systemctl's reason.
std::string InstallSystemdUnit(const ServiceIdentity& identity, const SystemdUnitOptions& options);
std::string UninstallSystemdUnit(const ServiceIdentity& identity, const SystemdUnitOptions& options);

}  // namespace vorel
