#pragma once

// A database context over a temporary table folder, with a logger that keeps its lines and a clock that
// moves `step` ms after the first reading once armed (so a statement run takes exactly that long).
#include <string>
#include <utility>
#include <vector>

#include "database/database_context.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace vorel::dbtest {

class RecordingLogger final : public Logger {
 public:
  void Log(std::string_view channel, std::string_view message) override {
    lines.emplace_back(std::string(channel), std::string(message));
  }
  void SetError(int32_t, std::string_view message) override { errors.emplace_back(message); }
  std::vector<std::pair<std::string, std::string>> lines;
  std::vector<std::string> errors;
};

class SteppingClock final : public Clock {
 public:
  TimePoint Now() const override {
    TimePoint t = base.Now();
    if (armed) base.Advance(std::chrono::milliseconds(step));
    armed = false;
    return t;
  }
  void Arm() { armed = true; }
  mutable bool armed = false;
  LocalDateTime ToLocal(TimePoint t) const override { return base.ToLocal(t); }
  mutable testing::FakeClock base;
  int step = 16;
};

struct DatabaseFixture {
  DatabaseFixture() {
    ADO.SetConnectionString("Provider=VFPOLEDB;Data Source=" + folder.path().string() +
                            ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN");
  }
  testing::TempFolder folder;
  RecordingLogger logger;
  SteppingClock clock;
  RegionalSettings regional;
  Connection ADO;
  Query SQL{ADO, clock, regional};
  DatabaseContext ctx{ADO, SQL, logger, clock, regional};
};

}  // namespace vorel::dbtest
