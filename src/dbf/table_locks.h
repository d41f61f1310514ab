#pragma once

#include <cstdint>
#include <span>
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
// Locks the records `recnos` (ascending, distinct) of an update. More than `tableLockPast` of them: the whole
// table at once, as VFP's FLOCK (a lock per record would grow the kernel's lock list, and the time, with the
// square of the count); while another program holds a lock in the table, spans of the records instead, split
// around its locks down to single records, each waited for as LockRecord does. Otherwise LockRecord each.
void LockRecords(const TableLockTarget& target, HeldLocks& locks, std::span<const uint32_t> recnos,
                 size_t tableLockPast);

}  // namespace vorel::dbf
