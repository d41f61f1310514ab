#pragma once

#include <optional>
#include <string>

#include "platform/audit_store.h"

// How `vorel_service audit` selects and shows the entries of the audit trail. Entries hold Windows-1251;
// the texts made here are UTF-8.
namespace vorel {

struct AuditFilter {
  std::string since;  // YYYYMMDD: entries of that local day and later; empty: all
  struct Slot {
    std::string kw, date, time;  // as the portal sends them: slot number, YYYYMMDD, HH:MM
  };
  std::optional<Slot> slot;
  std::string patient;  // patient id; empty: any
};

bool AuditEntryMatches(const AuditFilter& filter, const AuditEntry& entry);

// The entry as readable lines: a heading line, then the command line, the logged lines and each changed
// record with its fields before and after, each indented.
std::string AuditEntryText(const AuditEntry& entry);
// The entry as one line of JSON.
std::string AuditEntryJson(const AuditEntry& entry);

}  // namespace vorel
