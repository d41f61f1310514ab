#include "dbf/table_locks.h"

#include "dbf/dbf_errors.h"

namespace vorel::dbf {

void LockRecord(const TableLockTarget& t, HeldLocks& locks, uint32_t recno) {
  bool ok = locks.Acquire(t.file, kVfpLockBase - recno, t.timing);
  // A table without the structural-index flag may be shared with a program that uses the FoxPro 2.x offsets.
  if (ok && !t.layout.hasStructuralIndex())
    ok = locks.Acquire(t.file, kFoxProLockBase + t.layout.RecordOffset(recno), t.timing);
  if (!ok)
    throw RecordLockedError("Record " + std::to_string(recno) + " of table " + t.name +
                            " is in use by another user");
}

void LockHeader(const TableLockTarget& t, HeldLocks& locks) {
  bool ok = locks.Acquire(t.file, kVfpLockBase, t.timing);
  if (ok && !t.layout.hasStructuralIndex()) ok = locks.Acquire(t.file, kFoxProLockBase, t.timing);
  if (!ok) throw RecordLockedError("Table " + t.name + " is in use by another user (header locked)");
}

void LockWholeTable(const TableLockTarget& t, HeldLocks& locks) {
  if (!locks.Acquire(t.file, kFoxProLockBase, t.timing, kWholeTableLockLength))
    throw RecordLockedError("Table " + t.name + " is in use by another user (records locked)");
}

}  // namespace vorel::dbf
