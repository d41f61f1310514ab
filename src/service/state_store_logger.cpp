#include "service/state_store_logger.h"

#include <string>
#include <thread>

namespace vorel {

std::string_view CutOldLog(std::string_view old) {
  const std::size_t start = old.size() > kLogKeep + 1 ? old.size() - (kLogKeep + 1) : 0;
  return old.substr(start, 2 * kLogKeep);
}

StateStoreLogger::StateStoreLogger(StateStore& store, const Clock& clock, const RegionalSettings& regional,
                                   const Clock::TimePoint& timeOfLastRequest, Sleep sleep)
    : store_(store),
      clock_(clock),
      regional_(regional),
      timeOfLastRequest_(timeOfLastRequest),
      sleep_(std::move(sleep)) {}

void StateStoreLogger::SleepThisThread(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

void StateStoreLogger::Append(std::string_view valueName, std::string_view line) {
  const std::string old = store_.Read(valueName);
  std::string text(CutOldLog(old));
  text += line;
  store_.Write(valueName, text);
}

void StateStoreLogger::Log(std::string_view channel, std::string_view message) {
  if (channel != "global") {
    std::string line = TimeText(clock_, regional_);
    line += ' ';
    line += message;
    line += "\r\n";
    Append("log_" + std::string(channel), line);
  }
  // The time is read once more for the second line, and the elapsed time from the same clock.
  std::string line = TimeText(clock_, regional_);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(clock_.Now() - timeOfLastRequest_);
  line += " [";
  line += std::to_string(elapsed.count() < 0 ? -elapsed.count() : elapsed.count());
  line += "] ";
  line += message;
  line += "\r\n";
  Append("log_global", line);
}

void StateStoreLogger::SetError(int32_t code, std::string_view message) {
  if (message.empty()) return;
  store_.Write("error", std::to_string(code));
  store_.Write("error_msg", message);
  store_.Write("error_time", DateTimeText(clock_, regional_));
  if (code > 0) sleep_(std::chrono::milliseconds(1000));
}

}  // namespace vorel
