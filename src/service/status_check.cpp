#include "service/status_check.h"

#include <chrono>
#include <cstdio>

#include "platform/clock.h"

namespace vorel {
namespace {

constexpr const char* kStateNames[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

std::string FirstLine(MonitorState state, const std::string& summary) {
  return std::string("VOREL ") + kStateNames[static_cast<int>(state)] + " - " + summary;
}

std::string Moment(int64_t seconds) {
  const LocalDateTime t = SystemClock().ToLocal(Clock::TimePoint(std::chrono::seconds(seconds)));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

std::string Duration(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds < 120) return std::to_string(seconds) + " s";
  if (seconds < 7200) return std::to_string(seconds / 60) + " min";
  if (seconds < 172800)
    return std::to_string(seconds / 3600) + " h " + std::to_string(seconds / 60 % 60) + " min";
  return std::to_string(seconds / 86400) + " days";
}

std::string MomentAgo(int64_t seconds, int64_t now) {
  return seconds == 0 ? "none" : Moment(seconds) + " (" + Duration(now - seconds) + " ago)";
}

// "none" for the texts the service writes when nothing is wrong.
std::string OrNone(const std::string& text) {
  return text.empty() || text == "Не обнаружено" ? "none" : text;
}

std::string Details(const StatusInput& in) {
  const StatusFacts& f = *in.facts;
  std::string text;
  text += "service:        " +
          (in.running ? "running (pid " + std::to_string(f.pid) + ") since " + Moment(f.started)
                      : "not running; last run " + Moment(f.started) +
                            (f.stopped != 0
                                 ? " to " + Moment(f.stopped) + " (stopped)"
                                 : ", last seen alive " + Moment(f.heartbeat) + " (ended without a stop)")) +
          "\n";
  text += "portal:         " + f.portal + "\n";
  text += "last request:   " + MomentAgo(f.lastRequest, in.now) + "\n";
  text += "last answer:    " + MomentAgo(f.lastAnswer, in.now) + "\n";
  text += "clinic folder:  " + (f.clinicFolder.empty() ? "(not set)" : f.clinicFolder) + " (" +
          (f.tables.empty()   ? "tables not tested yet"
           : f.tables == "ok" ? "tables open"
                              : "tables cannot be opened: " + f.tables) +
          ")\n";
  const std::string error = OrNone(f.errorMessage);
  text +=
      "last error:     " + (error == "none" ? error : f.error + " " + error + " at " + f.errorTime) + "\n";
  text += "critical_error: " + OrNone(f.criticalError) + "\n";
  text += "bookings:       " + (f.bookings.empty() ? "0" : f.bookings) + " since the start" +
          (f.lastBooking.empty() ? "" : ", the last at " + f.lastBooking) + "\n";
  return text;
}

}  // namespace

StatusVerdict UnknownStatus(const std::string& why) {
  return {MonitorState::kUnknown, FirstLine(MonitorState::kUnknown, why) + "\n"};
}

StatusVerdict JudgeStatus(const StatusInput& in) {
  MonitorState state = MonitorState::kOk;
  std::string summary;
  if (in.running && !in.facts) return UnknownStatus("running, but it has written no status record yet");
  if (!in.running) {
    state = MonitorState::kCritical;
    summary = "not running";
    if (!in.facts) summary += " (it has never run on the state store " + in.stateStore + ")";
  } else {
    const StatusFacts& f = *in.facts;
    const int64_t lastHeard = f.lastAnswer != 0 ? f.lastAnswer : f.started;
    if (!f.configured) {
      state = MonitorState::kWarning;
      summary = "not configured: set path, id and pass (vorel_service state set NAME VALUE), then restart";
    } else if (!f.tables.empty() && f.tables != "ok") {
      state = MonitorState::kCritical;
      summary = "the tables in " + f.clinicFolder + " cannot be opened: " + f.tables;
    } else if (in.now - f.heartbeat > kStuckAfter) {
      state = MonitorState::kWarning;
      summary = "the main loop has not moved for " + Duration(in.now - f.heartbeat);
    } else if (in.now - lastHeard > in.warnAfter) {
      state = MonitorState::kWarning;
      summary = f.lastAnswer != 0
                    ? "the portal has not answered for " + Duration(in.now - lastHeard)
                    : "no answer from the portal since the start " + Duration(in.now - lastHeard) + " ago";
    } else {
      summary = f.lastAnswer != 0 ? "running, the portal answered " + Duration(in.now - f.lastAnswer) + " ago"
                                  : "running, started " + Duration(in.now - f.started) + " ago";
    }
  }
  std::string text = FirstLine(state, summary) + "\n";
  if (in.facts) text += Details(in);
  text += "state store:    " + in.stateStore + "\n";
  return {state, text};
}

}  // namespace vorel
