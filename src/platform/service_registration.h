#pragma once

#include "platform/error.h"
#include "platform/service_host.h"

// Registering the service with the system's service manager (POSIX: a systemd unit; Windows: the service
// control manager), so that it starts with the system and restarts after a failure.
namespace vorel {

// Both fail with vorel::Error whose message says why.
void InstallService(const ServiceIdentity& identity);
void UninstallService(const ServiceIdentity& identity);

}  // namespace vorel
