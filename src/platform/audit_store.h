#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

// The booking audit trail: one entry for each portal command that changed, or tried to change, the clinic's
// tables, kept for a number of days. POSIX: a table of the state store's SQLite file; Windows: a file of
// its own under %ProgramData%\VorelService\. Texts are Windows-1251, as everywhere in the service.
namespace vorel {

VOREL_DEFINE_ERROR(AuditStoreError, Error);

struct AuditFieldChange {
  std::string field;
  std::string before;
  std::string after;
  friend bool operator==(const AuditFieldChange&, const AuditFieldChange&) = default;
};

struct AuditRecordChange {
  std::string table;
  uint32_t recno = 0;
  bool appended = false;
  std::vector<AuditFieldChange> fields;  // only those whose bytes changed
  friend bool operator==(const AuditRecordChange&, const AuditRecordChange&) = default;
};

struct AuditEntry {
  int64_t unixMillis = 0;        // when the answer was settled
  std::string localTime;         // the same moment in local time, "YYYYMMDD HH:MM:SS"
  std::string session;           // the reply's session token
  std::string command;           // the command word
  std::string line;              // the reply line as received
  std::string answer;            // what the portal is told
  std::vector<std::string> log;  // the lines the command logged: the reason of a refusal
  // The slot and patient the command was about, for finding the entry (empty when it names none).
  std::string kw, date, time, patient;
  uint64_t recordsChanged = 0;             // every record the command wrote
  std::vector<AuditRecordChange> records;  // the first kAuditRecordsKept of them
  friend bool operator==(const AuditEntry&, const AuditEntry&) = default;
};

inline constexpr size_t kAuditRecordsKept = 100;
inline constexpr int kDefaultAuditDays = 400;

// One entry as one line of text without line breaks (the body of a stored entry); DecodeAuditEntry gives
// std::nullopt for a text that is not one.
std::string EncodeAuditEntry(const AuditEntry& entry);
std::optional<AuditEntry> DecodeAuditEntry(std::string_view text);

class AuditStore {
 public:
  virtual ~AuditStore() = default;
  // Adds the entry and makes it durable before returning; AuditStoreError when it cannot.
  virtual void Append(const AuditEntry& entry) = 0;
  // Every entry, newest first.
  virtual std::vector<AuditEntry> Entries() = 0;
  // Removes the entries older than the moment; returns how many.
  virtual size_t PruneBefore(int64_t unixMillis) = 0;
};

// The audit trail in a file of its own at `path` (each entry one line, flushed before Append returns;
// pruned by writing the kept entries to a new file that replaces the old one). The writer opens it with
// `create`: a missing file is created, a last line that a crash cut short is cut off. Without, a missing
// file fails with AuditStoreError.
std::unique_ptr<AuditStore> OpenAuditFile(const std::string& path, bool create = true);

#ifdef _WIN32
// The audit trail as the file audit.log in `folder`, which is made (or set) for administrators and SYSTEM
// alone when `create`.
std::unique_ptr<AuditStore> OpenOwnersOnlyAuditFile(const std::string& folder, bool create = true);
#else
// The audit trail in the table "audit_entries" of the SQLite file at `location` (the state store's).
std::unique_ptr<AuditStore> OpenSqliteAuditStore(const std::string& location, bool create = true);
#endif

// The platform's audit trail: POSIX, the table "audit_entries" in the SQLite file of the state store at
// StateStoreLocation(); Windows, %ProgramData%\VorelService\audit\audit.log, readable by administrators
// and the service only. Without `create` a missing store fails with AuditStoreError.
std::unique_ptr<AuditStore> OpenPlatformAuditStore(bool create = true);

}  // namespace vorel
