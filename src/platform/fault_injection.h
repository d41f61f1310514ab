#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/error.h"

// A seam in the platform file layer through which tests end the process, tear a write or make a file
// operation fail at the Nth operation, so that every point at which a write can stop is tried in turn.
// Counted, process-wide: each write (file creation included), flush, truncate, rename and removal made
// through SharedFile, WriteWholeFile and the whole-file operations of file_ops.h. Nothing happens unless a
// test sets a plan.
namespace vorel {

VOREL_DEFINE_ERROR(FaultPlanError, Error);

enum class FileOperation { kCreate, kWrite, kFlush, kTruncate, kRename, kRemove };
inline constexpr size_t kFileOperationKinds = 6;

enum class FaultKind {
  kNone,
  kEndProcess,  // the process ends at once, before the operation (as by SIGKILL or TerminateProcess)
  kTornWrite,   // a write puts down the first half of its bytes, then the process ends
  kIoError,     // the operation fails with EIO (Windows: ERROR_IO_DEVICE) and changes nothing
  kNoSpace,     // ENOSPC (ERROR_DISK_FULL); a write puts down the first half of its bytes before failing
};

struct FaultPlan {
  FaultKind kind = FaultKind::kNone;
  uint64_t at = 0;  // 1-based number of the operation that faults; 0 = none
};

// Installs the plan and starts counting afresh.
void SetFaultPlan(const FaultPlan& plan);
// "kill@N", "tear@N", "eio@N", "enospc@N" or "none"; FaultPlanError for anything else.
FaultPlan ParseFaultPlan(std::string_view text);
// Operations counted since the last SetFaultPlan (or the start of the process): all, or those of one kind.
uint64_t FileOperationCount();
uint64_t FileOperationCount(FileOperation operation);

// For the file homes: counts one operation and meets the fault the plan gives it. Before a torn write or a
// full disk, `writeHalf` (writes only) puts down the first half of the bytes; a kill or a torn write ends
// the process here. Returns kIoError or kNoSpace for the home to fail the operation with, else kNone.
FaultKind MeetFileFault(FileOperation operation, const std::function<void()>& writeHalf = {});
// Ends the process at once, without unwinding or flushing anything (each home has its own).
[[noreturn]] void EndProcessAtFault();

}  // namespace vorel
