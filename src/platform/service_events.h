#pragma once

#include <string>
#include <string_view>

#include "platform/service_host.h"

// What the running service tells the system's log, so that an operator sees why a service is unhappy
// without reading the state store: its start and stop, every error record and critical error.
namespace vorel {

// syslog's priorities.
enum class EventPriority { kCritical = 2, kError = 3, kWarning = 4, kNotice = 5, kInfo = 6 };

// One line (Windows-1251) in the platform's log of services. POSIX: standard error as UTF-8 with the
// sd-daemon priority prefix "<N>", which the journal reads (journalctl -u VorelService); line breaks inside
// the message become blanks. Windows: an event of the matching type in the event log. Never fails.
void ReportServiceEvent(const ServiceIdentity& identity, EventPriority priority, std::string_view message);

// The POSIX line: "<N>" + UTF-8 message with CR and LF replaced by blanks + "\n".
std::string ServiceEventLine(EventPriority priority, std::string_view message);

}  // namespace vorel
