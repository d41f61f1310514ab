#pragma once

#include <string>

#include "platform/error.h"
#include "platform/service_host.h"

// Registering the service with the system's service manager (POSIX: a systemd unit; Windows: the service
// control manager), so that it starts with the system and restarts after a failure.
namespace vorel {

// Both return what they did for the operator (Windows-1251 lines, possibly empty) and fail with vorel::Error
// whose message says why.
std::string InstallService(const ServiceIdentity& identity);
std::string UninstallService(const ServiceIdentity& identity);

}  // namespace vorel
