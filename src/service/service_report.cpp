#include "service/service_report.h"

#include <chrono>

#include "exchange/main_loop.h"
#include "platform/code_page.h"

namespace vorel {
namespace {

constexpr int64_t kHeartbeatEvery = 5;  // seconds between records that only say "still alive"

class ReportingLoggerImpl final : public Logger {
 public:
  ReportingLoggerImpl(Logger& inner, ServiceReport& report) : inner_(inner), report_(report) {}
  void Log(std::string_view channel, std::string_view message) override { inner_.Log(channel, message); }
  void SetError(int32_t code, std::string_view message) override {
    // Told before the record is written, which pauses for a second.
    report_.ErrorRecorded(code, message);
    inner_.SetError(code, message);
  }

 private:
  Logger& inner_;
  ServiceReport& report_;
};

}  // namespace

ServiceReport::ServiceReport(std::optional<StatusRecordPaths> paths, const Clock& clock, EventSink sink)
    : paths_(std::move(paths)), clock_(clock), sink_(std::move(sink)) {}

int64_t ServiceReport::Seconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(clock_.Now().time_since_epoch()).count();
}

void ServiceReport::Event(EventPriority priority, const std::string& message) {
  if (sink_) sink_(priority, message);
}

void ServiceReport::Acquire() {
  std::lock_guard lock(mutex_);
  if (paths_ && !lock_) lock_.emplace(ServiceLock::Acquire(paths_->lock, CurrentProcessId()));
}

void ServiceReport::Started(StateStore& store, const std::string& clinicFolder, const std::string& portal,
                            bool configured) {
  {
    std::lock_guard lock(mutex_);
    store_ = &store;
    clinicFolder_ = clinicFolder;
    facts_ = StatusFacts{};
    facts_.pid = CurrentProcessId();
    facts_.running = true;
    facts_.started = facts_.heartbeat = Seconds();
    facts_.configured = configured;
    facts_.clinicFolder = AnsiToUtf8(clinicFolder);
    facts_.portal = AnsiToUtf8(portal);
    portalSilent_ = false;
    Publish(true);
  }
  Event(EventPriority::kInfo, "started: clinic folder " +
                                  (clinicFolder.empty() ? "(not set)" : clinicFolder) + ", portal " + portal);
  if (!configured) {
    Event(EventPriority::kWarning,
          "not configured: set path, id and pass (vorel_service state set NAME VALUE), then restart");
  }
}

void ServiceReport::Stopped() {
  {
    std::lock_guard lock(mutex_);
    facts_.running = false;
    facts_.stopped = Seconds();
    Publish(true);
  }
  Event(EventPriority::kInfo, "stopped");
}

MainLoopHooks ServiceReport::Hooks() {
  MainLoopHooks hooks;
  hooks.alive = [this] { Alive(); };
  hooks.passEnded = [this](bool answered) { PassEnded(answered); };
  hooks.databaseTested = [this](const std::string& failure) { DatabaseTested(failure); };
  hooks.failed = [this](const std::string& reason) { Failed(reason); };
  return hooks;
}

std::unique_ptr<Logger> ServiceReport::ReportingLogger(Logger& inner) {
  return std::make_unique<ReportingLoggerImpl>(inner, *this);
}

StatusFacts ServiceReport::Facts() {
  std::lock_guard lock(mutex_);
  return facts_;
}

void ServiceReport::Alive() {
  std::lock_guard lock(mutex_);
  facts_.heartbeat = Seconds();
  Publish(false);
}

void ServiceReport::PassEnded(bool answered) {
  bool silenced = false, answersAgain = false;
  std::string portal;
  {
    std::lock_guard lock(mutex_);
    facts_.heartbeat = facts_.lastRequest = Seconds();
    if (answered) facts_.lastAnswer = facts_.lastRequest;
    silenced = !answered && !portalSilent_;
    answersAgain = answered && portalSilent_;
    portalSilent_ = !answered;
    portal = Utf8ToAnsi(facts_.portal);
    Publish(silenced || answersAgain);
  }
  if (silenced) Event(EventPriority::kWarning, "no answer from the portal at " + portal);
  if (answersAgain) Event(EventPriority::kNotice, "the portal answers again");
}

void ServiceReport::DatabaseTested(const std::string& failure) {
  bool recovered = false;
  {
    std::lock_guard lock(mutex_);
    recovered = failure.empty() && !facts_.tables.empty() && facts_.tables != "ok";
    facts_.tables = failure.empty() ? "ok" : AnsiToUtf8(failure);
    facts_.heartbeat = Seconds();
    Publish(true);
  }
  if (!failure.empty()) {
    Event(EventPriority::kCritical, "critical error: " + kCheckPathText.str() + " (the tables in " +
                                        clinicFolder_ + " cannot be opened: " + failure + ")");
  } else if (recovered) {
    Event(EventPriority::kNotice, "the tables in " + clinicFolder_ + " open again");
  }
}

void ServiceReport::Failed(const std::string& reason) {
  std::lock_guard lock(mutex_);
  pendingReason_ = reason;
}

void ServiceReport::ErrorRecorded(int32_t code, std::string_view message) {
  if (message.empty()) return;  // the error record leaves it out too
  std::string reason;
  {
    std::lock_guard lock(mutex_);
    reason.swap(pendingReason_);
  }
  Event(EventPriority::kError, "error " + std::to_string(code) + ": " + std::string(message) +
                                   (reason.empty() ? "" : " (" + reason + ")"));
  std::lock_guard lock(mutex_);
  // The record is published once the store holds the error: at the next heartbeat, forced.
  lastPublished_ = 0;
}

void ServiceReport::Publish(bool force) {
  if (!paths_ || !store_) return;
  const int64_t now = Seconds();
  if (!force && lastPublished_ != 0 && now - lastPublished_ < kHeartbeatEvery) return;
  try {
    facts_.error = AnsiToUtf8(store_->Read("error"));
    facts_.errorMessage = AnsiToUtf8(store_->Read("error_msg"));
    facts_.errorTime = AnsiToUtf8(store_->Read("error_time"));
    facts_.criticalError = AnsiToUtf8(store_->Read("critical_error"));
    facts_.bookings = AnsiToUtf8(store_->Read("record_cnt"));
    facts_.lastBooking = AnsiToUtf8(store_->Read("record_time"));
    PublishStatusRecord(paths_->record, StatusRecordText(facts_));
    lastPublished_ = now;
    publishFailed_ = false;
  } catch (const std::exception& e) {
    // The service goes on without its record; the journal hears of it once.
    if (!publishFailed_) {
      publishFailed_ = true;
      if (sink_) sink_(EventPriority::kWarning, std::string("cannot write the status record: ") + e.what());
    }
  }
}

}  // namespace vorel
