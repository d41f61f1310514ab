#pragma once

#include <cstdint>
#include <string>

#include "dbf/held_locks.h"
#include "dbf/table_layout.h"
#include "platform/shared_file.h"

// A table's lock bytes and taking them as VFP does.
namespace vorel::dbf {

// VFP's lock bytes: record n at kVfpLockBase - n, the header at kVfpLockBase; the FoxPro 2.x scheme locks
// the record's own position (and the header at offset 0) shifted by kFoxProLockBase.
inline constexpr uint64_t kVfpLockBase = 0x7FFFFFFE;
inline constexpr uint64_t kFoxProLockBase = 0x40000000;
// The whole table (FLOCK): every record byte of both schemes and the header byte.
inline constexpr uint64_t kWholeTableLockLength = kVfpLockBase - kFoxProLockBase + 1;
// Held by this program's writers while a statement's journal exists: one byte past VFP's header byte, which
// no VFP lock covers, so only this program's writers wait for it.
inline constexpr uint64_t kJournalLockByte = kVfpLockBase + 1;

// The table file whose bytes are locked, with what the lock offsets and messages need.
struct TableLockTarget {
  SharedFile& file;
  const TableLayout& layout;
  const std::string& name;
  LockTiming timing;
};

// Each throws RecordLockedError naming the table when the lock stays taken for the whole wait.
void LockRecord(const TableLockTarget& target, HeldLocks& locks, uint32_t recno);
void LockHeader(const TableLockTarget& target, HeldLocks& locks);
void LockWholeTable(const TableLockTarget& target, HeldLocks& locks);

}  // namespace vorel::dbf
