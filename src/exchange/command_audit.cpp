#include "exchange/command_audit.h"

#include <chrono>
#include <cstdio>

#include "booking/text_trim.h"
#include "dbf/field_text.h"
#include "dbf/table.h"
#include "platform/code_page.h"

namespace vorel {
namespace {

std::string Trimmed(std::string_view text) {
  return std::string(TrimText(text));
}

std::string LocalTimeText(const LocalDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// A query leaves the table as it was: only an adm_sql that is not one is audited whatever it changed.
bool IsQueryText(std::string_view statement) {
  const std::string word = ToUpperAnsi(Trimmed(statement).substr(0, 6));
  return word == "SELECT";
}

// The value of a field of a record's bytes, or empty when the table has no such field.
std::string FieldOf(const dbf::Table& table, std::string_view name, std::string_view record) {
  const dbf::Field* field = table.FindField(name);
  return field && !record.empty() ? dbf::FieldText(*field, record) : std::string();
}

}  // namespace

bool IsAuditedCommand(std::string_view word) {
  return word == "zapis" || word == "zapis2" || word == "delrec" || word == "delrec2" || word == "adm_sql";
}

CommandAudit::CommandAudit(AuditStore* store, Logger& next, const Clock& clock)
    : store_(store), next_(next), clock_(clock) {}

void CommandAudit::Begin(std::string_view reply, const ReplyFields& fields) {
  current_.reset();
  slotFromRecords_ = false;
  if (!store_ || !IsAuditedCommand(fields[1])) return;
  AuditEntry& e = current_.emplace();
  e.session = fields[0];
  e.command = fields[1];
  e.line = std::string(reply);
  statement_ = fields[2];
  // The slot as the command names it; a written record of m2401 names it better (see RecordsWritten).
  if (e.command != "adm_sql") {
    e.kw = Trimmed(fields[4]);
    e.date = Trimmed(fields[5]);
    e.time = Trimmed(fields[6]);
    if (e.command == "zapis") e.patient = Trimmed(fields[8]);
    if (e.command == "delrec") e.patient = Trimmed(fields[7]);
  }
}

void CommandAudit::Finish(const std::string& answer, std::string_view failure) {
  if (!current_) return;
  AuditEntry e = std::move(*current_);
  current_.reset();
  if (e.command == "adm_sql" && e.recordsChanged == 0 && IsQueryText(statement_)) return;
  e.answer = answer;
  if (!failure.empty()) e.log.emplace_back(failure);
  const Clock::TimePoint now = clock_.Now();
  e.unixMillis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  e.localTime = LocalTimeText(clock_.ToLocal(now));
  try {
    store_->Append(e);
  } catch (const std::exception& ex) {
    const std::string message = "Audit entry of " + e.command + " not written: " + ex.what();
    next_.Log("system", message);
    if (onFailure) onFailure(message);
  }
}

void CommandAudit::Log(std::string_view channel, std::string_view message) {
  // The command's own lines; the query timings of "sql" say nothing of why it answered as it did.
  if (current_ && channel != "sql") current_->log.emplace_back(message);
  next_.Log(channel, message);
}

void CommandAudit::RecordsWritten(const dbf::Table& table,
                                  std::span<const dbf::WrittenRecord> records) noexcept {
  if (!current_) return;
  try {
    AuditEntry& e = *current_;
    e.recordsChanged += records.size();
    const bool slotTable = ToUpperAnsi(table.name()) == "M2401";
    for (const dbf::WrittenRecord& w : records) {
      if (slotTable && !slotFromRecords_) {
        // The slot's own record says which slot and patient it was, whatever the command's fields said.
        slotFromRecords_ = true;
        e.kw = FieldOf(table, "kw", w.after);
        e.date = FieldOf(table, "dat", w.after);
        e.time = FieldOf(table, "tim", w.after);
        std::string kl = FieldOf(table, "kl", w.after);
        if (kl.empty() || kl == "0") kl = FieldOf(table, "kl", w.before);
        if (kl != "0") e.patient = kl;
      }
      if (e.records.size() >= kAuditRecordsKept) continue;
      AuditRecordChange r{table.name(), w.recno, w.before.empty(), {}};
      if (w.before.empty() || w.before[0] != w.after[0])
        r.fields.push_back({"DELETED()", w.before.empty() ? "" : (w.before[0] == '*' ? "T" : "F"),
                            w.after[0] == '*' ? "T" : "F"});
      for (const dbf::Field& f : table.fields()) {
        const std::string after = dbf::FieldText(f, w.after);
        const std::string before = w.before.empty() ? std::string() : dbf::FieldText(f, w.before);
        const bool changed =
            w.before.empty() ? !after.empty() : dbf::FieldBytes(f, w.before) != dbf::FieldBytes(f, w.after);
        if (changed) r.fields.push_back({f.name, before, after});
      }
      e.records.push_back(std::move(r));
    }
  } catch (const std::exception&) {
    // A record that cannot be shown is left out of the entry; the write itself has been made.
  }
}

}  // namespace vorel
