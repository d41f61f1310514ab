#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/status_facts.h"

// The judgement of `vorel_service status`, in the terms of the monitoring plugins (Nagios, Icinga, Zabbix):
// the exit status and a first line "VOREL <STATE> - <summary>", then a few lines for people.
namespace vorel {

enum class MonitorState { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

struct StatusInput {
  bool running = false;              // a live process holds the service's lock
  std::optional<StatusFacts> facts;  // the status record, when there is one
  int64_t now = 0;                   // seconds since the epoch
  int64_t warnAfter = 600;           // seconds without an answer from the portal before WARNING
  std::string stateStore;            // where the store lies, for the report
};

// A main loop not seen alive for this long is stuck: longer than the longest legitimate pass.
inline constexpr int64_t kStuckAfter = 900;

struct StatusVerdict {
  MonitorState state = MonitorState::kUnknown;
  std::string text;  // every line, the first in the plugins' format
};

// Not running, or tables that cannot be opened: CRITICAL. Not configured, a main loop not seen alive for
// kStuckAfter, or a portal silent for warnAfter: WARNING. Otherwise OK.
StatusVerdict JudgeStatus(const StatusInput& input);

// "VOREL UNKNOWN - " + why, for the failures of `status` itself.
StatusVerdict UnknownStatus(const std::string& why);

}  // namespace vorel
