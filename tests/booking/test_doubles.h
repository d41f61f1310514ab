#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "booking/patient_cache.h"
#include "platform/clock.h"
#include "platform/logger.h"
#include "platform/state_store.h"

namespace vorel::testing_support {

// Keeps every log line as (channel, message).
class RecordingLogger : public Logger {
 public:
  std::vector<std::pair<std::string, std::string>> lines;
  void Log(std::string_view channel, std::string_view message) override {
    lines.emplace_back(std::string(channel), std::string(message));
  }
  void SetError(int32_t, std::string_view) override {}
  std::vector<std::string> Channel(std::string_view channel) const {
    std::vector<std::string> out;
    for (const auto& [c, m] : lines) {
      if (c == channel) out.push_back(m);
    }
    return out;
  }
};

// A clock whose local time is UTC and that stands still unless moved.
class ManualClock : public Clock {
 public:
  TimePoint now = std::chrono::sys_days{std::chrono::year{2026} / 12 / 15} + std::chrono::hours{10};
  TimePoint Now() const override { return now; }
  LocalDateTime ToLocal(TimePoint t) const override {
    const auto days = std::chrono::floor<std::chrono::days>(t);
    const std::chrono::year_month_day ymd{days};
    const std::chrono::hh_mm_ss hms{std::chrono::floor<std::chrono::milliseconds>(t - days)};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(hms.hours().count()),
            static_cast<int>(hms.minutes().count()),
            static_cast<int>(hms.seconds().count()),
            static_cast<int>(hms.subseconds().count())};
  }
};

class MemoryStateStore : public StateStore {
 public:
  std::map<std::string, std::string, std::less<>> values;
  std::string Read(std::string_view name) override {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
  void Write(std::string_view name, std::string_view value) override {
    values[std::string(name)] = std::string(value);
  }
};

// Fills the cache with patients 1..count: kl 10 + n, surname "patientN", policy "NN".
inline void LoadNumberedPatients(PatientCache& cache, int32_t count) {
  cache.BeginLoad();
  for (int32_t slot = 1; slot <= count; ++slot) {
    pac_rec& p = cache.PrepareSlot(slot);
    p.kl = 10 + slot;
    p.fiol = cache.Keep("patient" + std::to_string(slot));
    p.npol = cache.Keep("N" + std::to_string(slot));
    cache.CommitSlot(slot);
  }
  cache.FinishLoad(count);
}

}  // namespace vorel::testing_support
