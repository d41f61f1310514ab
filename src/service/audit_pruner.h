#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/audit_store.h"
#include "platform/clock.h"

// Keeps the audit trail to its number of days: a thread of its own removes the older entries at the start
// and once a day, away from the main loop, so that a booking's answer never waits for it.
namespace vorel {

// The days of the state store value "audit_days": a whole number from 1; anything else keeps the default.
int AuditDays(std::string_view setting);

// Removes the entries older than `days` before the clock's now; returns how many.
size_t PruneAudit(AuditStore& store, const Clock& clock, int days);

class AuditPruner {
 public:
  using Report = std::function<void(const std::string& failure)>;
  AuditPruner(AuditStore& store, const Clock& clock, int days, Report report);
  ~AuditPruner();  // stops the thread
  AuditPruner(const AuditPruner&) = delete;
  AuditPruner& operator=(const AuditPruner&) = delete;

 private:
  void Run(std::stop_token stop);

  AuditStore& store_;
  const Clock& clock_;
  int days_;
  Report report_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread thread_;  // last: started once everything it uses is there
};

}  // namespace vorel
