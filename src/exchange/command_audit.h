#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "booking/reply_fields.h"
#include "dbf/write_observer.h"
#include "platform/audit_store.h"
#include "platform/clock.h"
#include "platform/logger.h"

// The audit of the portal's commands that change the clinic's tables (zapis, zapis2, delrec, delrec2, and
// an adm_sql that writes): while one runs, it hears of every record the connection writes and keeps the
// lines the command logs; when its answer is settled, one entry goes into the audit trail before the answer
// can go out. A failure to write the entry is logged on "system" and reported; it never fails the command.
namespace vorel {

// Whether a command word is audited (an adm_sql that is a query and wrote nothing then leaves no entry).
bool IsAuditedCommand(std::string_view word);

class CommandAudit final : public Logger, public dbf::WriteObserver {
 public:
  // Without a store nothing is recorded; log lines pass on to `next` either way.
  CommandAudit(AuditStore* store, Logger& next, const Clock& clock);

  void SetStore(AuditStore* store) { store_ = store; }
  // Called with the failure's text when an entry cannot be written (besides the "system" log line).
  std::function<void(const std::string&)> onFailure;

  // Starts recording the command of this reply, when it is an audited one.
  void Begin(std::string_view reply, const ReplyFields& fields);
  // Writes the entry of the command begun, with its answer (and the failure that ended it, if any).
  void Finish(const std::string& answer, std::string_view failure = {});

  void Log(std::string_view channel, std::string_view message) override;
  void SetError(int32_t code, std::string_view message) override { next_.SetError(code, message); }

  void RecordsWritten(const dbf::Table& table, std::span<const dbf::WrittenRecord> records) noexcept override;

 private:
  AuditStore* store_;
  Logger& next_;
  const Clock& clock_;
  std::optional<AuditEntry> current_;
  std::string statement_;         // adm_sql's statement
  bool slotFromRecords_ = false;  // the slot and patient were taken from a written m2401 record
};

}  // namespace vorel
