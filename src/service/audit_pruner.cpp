#include "service/audit_pruner.h"

#include <charconv>
#include <chrono>

namespace vorel {

int AuditDays(std::string_view setting) {
  int days = 0;
  const auto [end, ec] = std::from_chars(setting.data(), setting.data() + setting.size(), days);
  return ec == std::errc() && end == setting.data() + setting.size() && days >= 1 ? days : kDefaultAuditDays;
}

size_t PruneAudit(AuditStore& store, const Clock& clock, int days) {
  using namespace std::chrono;
  const auto cutoff = clock.Now() - hours(24) * days;
  return store.PruneBefore(duration_cast<milliseconds>(cutoff.time_since_epoch()).count());
}

AuditPruner::AuditPruner(AuditStore& store, const Clock& clock, int days, Report report)
    : store_(store),
      clock_(clock),
      days_(days),
      report_(std::move(report)),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

AuditPruner::~AuditPruner() {
  thread_.request_stop();
}

void AuditPruner::Run(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    try {
      PruneAudit(store_, clock_, days_);
    } catch (const std::exception& e) {
      if (report_) report_(e.what());
    }
    wake_.wait_for(lock, stop, std::chrono::hours(24), [] { return false; });
  }
}

}  // namespace vorel
