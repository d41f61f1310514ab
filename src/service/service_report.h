#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "exchange/exchange_context.h"
#include "platform/clock.h"
#include "platform/logger.h"
#include "platform/service_events.h"
#include "platform/state_store.h"
#include "platform/status_record.h"
#include "service/status_facts.h"

// What the running service tells the outside besides the state store: the status record, with the lock
// that proves a live process, and one line for the system's log for its start, its stop, every error
// record, a critical error and the portal going silent. Used by the control thread (start, stop) and the
// main thread (the hooks, the error records) under one mutex. Texts in and out are Windows-1251.
namespace vorel {

class ServiceReport {
 public:
  using EventSink = std::function<void(EventPriority, std::string_view message)>;

  // Without paths no record is kept and no lock taken (tests, and hosts that keep none).
  ServiceReport(std::optional<StatusRecordPaths> paths, const Clock& clock, EventSink sink);

  // Takes the lock first of all; ServiceLockError when another process runs the service on the same store.
  void Acquire();
  // The service has started: reads the error record and booking count from `store` from now on.
  void Started(StateStore& store, const std::string& clinicFolder, const std::string& portal,
               bool configured);
  void Stopped();

  MainLoopHooks Hooks();
  // The logger to hand the service: `inner`'s, with every error record also reported.
  std::unique_ptr<Logger> ReportingLogger(Logger& inner);
  void ErrorRecorded(int32_t code, std::string_view message);
  // A trouble that is no error record of the service (the audit trail cannot be written): a warning line.
  void Warning(const std::string& message) { Event(EventPriority::kWarning, message); }

  // The facts as last published (for tests).
  StatusFacts Facts();

 private:
  int64_t Seconds() const;
  void Event(EventPriority priority, const std::string& message);
  void Publish(bool force);  // with mutex_ held
  void Alive();
  void PassEnded(bool answered);
  void DatabaseTested(const std::string& failure);
  void Failed(const std::string& reason);

  std::optional<StatusRecordPaths> paths_;
  const Clock& clock_;
  EventSink sink_;
  std::mutex mutex_;
  std::optional<ServiceLock> lock_;
  StateStore* store_ = nullptr;
  StatusFacts facts_;
  std::string clinicFolder_;  // Windows-1251, for the journal
  std::string pendingReason_;
  int64_t lastPublished_ = 0;
  bool publishFailed_ = false;
  bool portalSilent_ = false;
};

}  // namespace vorel
