#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/shared_file.h"

// The running service's status record: a small text without secrets that any user may read (a monitoring
// agent cannot read the state store, which holds the password), and a lock file whose lock the service holds
// for the life of its process, so that "running" is proven by a live process, not by values a crashed one
// left behind.
namespace vorel {

VOREL_DEFINE_ERROR(ServiceLockError, Error);

struct StatusRecordPaths {
  std::string record;  // the text
  std::string lock;    // the lock file, holding the pid of its holder
};

// POSIX: beside the state store, NAME.status and NAME.lock for the store NAME.db (so each instance of a
// template unit, with a store of its own, has its own). Windows: VorelService.status and VorelService.lock
// in %ProgramData%\VorelService\.
StatusRecordPaths StatusRecordPathsFor(const std::string& stateStoreLocation);
StatusRecordPaths PlatformStatusRecordPaths();

// The lock of a running service. Held until destroyed (or the process ends, however it ends).
class ServiceLock {
 public:
  // Creates the lock file (and its folder) when missing and takes its lock without waiting; ServiceLockError
  // naming the pid of the holder when another process holds it, or the reason when the file cannot be opened.
  static ServiceLock Acquire(const std::string& path, int64_t ownPid);

 private:
  explicit ServiceLock(SharedFile file) : file_(std::move(file)) {}
  SharedFile file_;
};

// Whether a live process holds the lock of `path` (false when there is no such file); the pid it wrote.
// FileAccessError when the file exists but cannot be read.
struct LockProbe {
  bool held = false;
  std::optional<int64_t> pid;
};
LockProbe ProbeServiceLock(const std::string& path);

// Replaces the record whole, so that a reader sees the old text or the new one; the file is readable by all.
// FileWriteError naming the file on failure.
void PublishStatusRecord(const std::string& path, std::string_view text);

// This process's id.
int64_t CurrentProcessId();

}  // namespace vorel
