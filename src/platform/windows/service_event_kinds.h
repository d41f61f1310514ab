#pragma once

#include <windows.h>

#include "platform/service_events.h"

// The event log's side of the service's events: the program carries a message table (resources/
// service_messages.mc) with one message per priority whose whole text is the event's own, so that Event
// Viewer shows it as the journal shows the same line on Linux.
namespace vorel::windows {

struct EventKind {
  WORD type;        // EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_INFORMATION_TYPE
  DWORD messageId;  // the message of the program's table
};

EventKind EventKindOf(EventPriority priority);

}  // namespace vorel::windows
