#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/clock.h"
#include "platform/logger.h"
#include "platform/regional.h"
#include "platform/state_store.h"

// The rolling logs and the error record, kept as values of the state store so that an operator and the
// portal can read them from outside.
namespace vorel {

// Longest old log kept whole; a longer one keeps only its last kLogKeep + 1 characters.
inline constexpr std::size_t kLogKeep = 100000;

// The part of an old log value that stays before a new line is appended: the piece from character
// position L - 100000 (counted from 1, at least 1), at most 200000 characters long.
std::string_view CutOldLog(std::string_view old);

class StateStoreLogger final : public Logger {
 public:
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // `timeOfLastRequest` is read at every line: the base of the elapsed milliseconds of "log_global".
  StateStoreLogger(StateStore& store, const Clock& clock, const RegionalSettings& regional,
                   const Clock::TimePoint& timeOfLastRequest, Sleep sleep = SleepThisThread);

  // "log_<channel>" (unless the channel is "global"): time text, " ", message, CR LF.
  // "log_global": time text, " [", elapsed ms, "] ", message, CR LF. Store failures pass to the caller.
  void Log(std::string_view channel, std::string_view message) override;

  // Nothing for an empty message; else "error" = code, "error_msg" = message, "error_time" = date-time
  // text, then a pause of 1000 ms when the code is above 0.
  void SetError(int32_t code, std::string_view message) override;

  static void SleepThisThread(std::chrono::milliseconds duration);

 private:
  void Append(std::string_view valueName, std::string_view line);

  StateStore& store_;
  const Clock& clock_;
  RegionalSettings regional_;
  const Clock::TimePoint& timeOfLastRequest_;
  Sleep sleep_;
};

}  // namespace vorel
