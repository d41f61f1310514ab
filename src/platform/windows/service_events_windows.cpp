#include <windows.h>

#include <string>

#include "platform/service_events.h"
#include "platform/windows/service_event_kinds.h"
#include "service_messages.h"

namespace vorel {

namespace windows {

EventKind EventKindOf(EventPriority priority) {
  switch (priority) {
    case EventPriority::kCritical:
      return {EVENTLOG_ERROR_TYPE, MSG_SERVICE_CRITICAL};
    case EventPriority::kError:
      return {EVENTLOG_ERROR_TYPE, MSG_SERVICE_ERROR};
    case EventPriority::kWarning:
      return {EVENTLOG_WARNING_TYPE, MSG_SERVICE_WARNING};
    case EventPriority::kNotice:
      return {EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_NOTICE};
    case EventPriority::kInfo:
      break;
  }
  return {EVENTLOG_INFORMATION_TYPE, MSG_SERVICE_INFO};
}

}  // namespace windows

void ReportServiceEvent(const ServiceIdentity& identity, EventPriority priority, std::string_view message) {
  HANDLE source = RegisterEventSourceA(nullptr, identity.name.c_str());
  if (source == nullptr) return;
  const windows::EventKind kind = windows::EventKindOf(priority);
  const std::string text(message);
  const char* strings[] = {text.c_str()};
  ReportEventA(source, kind.type, 0, kind.messageId, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace vorel
