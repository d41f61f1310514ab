#include "dbf/table_locks.h"

#include "dbf/dbf_errors.h"

namespace vorel::dbf {

namespace {

// Spans of at most this many records are locked record by record.
constexpr size_t kSmallestSpan = 8;

RecordLockedError RecordInUse(const TableLockTarget& t, uint32_t recno) {
  return RecordLockedError("Record " + std::to_string(recno) + " of table " + t.name +
                           " is in use by another user");
}

// The lock bytes of records first..last in one range per scheme, without waiting; false (and none of them
// held) when another program holds one of them.
bool TryLockSpan(const TableLockTarget& t, HeldLocks& locks, uint32_t first, uint32_t last) {
  if (!locks.TryAcquire(t.file, kVfpLockBase - last, uint64_t{last} - first + 1)) return false;
  if (t.layout.hasStructuralIndex()) return true;
  const uint64_t from = t.layout.RecordOffset(first);
  if (locks.TryAcquire(t.file, kFoxProLockBase + from, t.layout.RecordOffset(last) - from + 1)) return true;
  locks.ReleaseNewest();
  return false;
}

void LockSpans(const TableLockTarget& t, HeldLocks& locks, std::span<const uint32_t> recnos) {
  if (recnos.size() <= kSmallestSpan) {
    for (uint32_t recno : recnos) LockRecord(t, locks, recno);
    return;
  }
  if (TryLockSpan(t, locks, recnos.front(), recnos.back())) return;
  const size_t half = recnos.size() / 2;
  LockSpans(t, locks, recnos.first(half));
  LockSpans(t, locks, recnos.subspan(half));
}

}  // namespace

void LockRecord(const TableLockTarget& t, HeldLocks& locks, uint32_t recno) {
  bool ok = locks.Acquire(t.file, kVfpLockBase - recno, t.timing);
  // A table without the structural-index flag may be shared with a program that uses the FoxPro 2.x offsets.
  if (ok && !t.layout.hasStructuralIndex())
    ok = locks.Acquire(t.file, kFoxProLockBase + t.layout.RecordOffset(recno), t.timing);
  if (!ok) throw RecordInUse(t, recno);
}

void LockRecords(const TableLockTarget& t, HeldLocks& locks, std::span<const uint32_t> recnos,
                 size_t tableLockPast) {
  if (recnos.size() <= tableLockPast) {
    for (uint32_t recno : recnos) LockRecord(t, locks, recno);
    return;
  }
  if (!locks.TryAcquire(t.file, kFoxProLockBase, kWholeTableLockLength)) {
    LockSpans(t, locks, recnos);
    return;
  }
  // FoxPro 2.x bytes of records past the first gigabyte lie beyond the table lock.
  if (!t.layout.hasStructuralIndex())
    for (uint32_t recno : recnos)
      if (const uint64_t at = kFoxProLockBase + t.layout.RecordOffset(recno);
          at > kVfpLockBase && !locks.Acquire(t.file, at, t.timing))
        throw RecordInUse(t, recno);
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
