#include <windows.h>

#include <string>

#include "platform/service_events.h"

namespace vorel {

void ReportServiceEvent(const ServiceIdentity& identity, EventPriority priority, std::string_view message) {
  HANDLE source = RegisterEventSourceA(nullptr, identity.name.c_str());
  if (source == nullptr) return;
  const WORD type = priority <= EventPriority::kError     ? EVENTLOG_ERROR_TYPE
                    : priority == EventPriority::kWarning ? EVENTLOG_WARNING_TYPE
                                                          : EVENTLOG_INFORMATION_TYPE;
  const std::string text(message);
  const char* strings[] = {text.c_str()};
  ReportEventA(source, type, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace vorel
