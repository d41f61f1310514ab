#include "platform/status_record.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/code_page.h"
#include "platform/file_write.h"

namespace vorel {
namespace {

namespace fs = std::filesystem;

// The byte the lock covers lies far beyond the pid, since Windows forbids others to read locked bytes.
constexpr uint64_t kLockOffset = uint64_t{1} << 30;

std::optional<int64_t> ReadPid(const SharedFile& file) {
  char buffer[24] = {};
  const size_t n = file.ReadAt(0, std::span<char>(buffer, sizeof buffer - 1));
  int64_t pid = 0;
  const auto [end, ec] = std::from_chars(buffer, buffer + n, pid);
  if (ec != std::errc() || end == buffer) return std::nullopt;
  return pid;
}

}  // namespace

StatusRecordPaths StatusRecordPathsFor(const std::string& stateStoreLocation) {
  fs::path path(stateStoreLocation);
  StatusRecordPaths paths;
  paths.record = fs::path(path).replace_extension(".status").string();
  paths.lock = path.replace_extension(".lock").string();
  return paths;
}

ServiceLock ServiceLock::Acquire(const std::string& path, int64_t ownPid) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);  // a failure shows as the file's below
  SharedFile file;
  try {
    file = SharedFile::CreateNew(path);
  } catch (const FileAccessError&) {
    try {
      file = SharedFile::Open(path, SharedFile::Mode::kReadWrite);
    } catch (const FileAccessError& e) {
      throw ServiceLockError(std::string("Cannot take the service lock: ") + e.what());
    }
  }
  if (!file.TryLock(kLockOffset, 1)) {
    const std::optional<int64_t> holder = ReadPid(file);
    throw ServiceLockError("Another process" + (holder ? " (pid " + std::to_string(*holder) + ")" : "") +
                           " runs the service on this state store: it holds " + Utf8ToAnsi(path));
  }
  const std::string pid = std::to_string(ownPid) + "\n";
  file.Truncate(0);
  file.WriteAt(0, pid);
  // Others probe the lock (status run by a monitoring agent's user): readable by all, whatever the umask
  // (the unit's is 0077).
  fs::permissions(
      path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
      ec);
  return ServiceLock(std::move(file));
}

LockProbe ProbeServiceLock(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return {};
  SharedFile file = SharedFile::Open(path, SharedFile::Mode::kRead);
  LockProbe probe;
  probe.held = !file.TryLockShared(kLockOffset, 1);
  if (!probe.held) file.Unlock(kLockOffset, 1);
  probe.pid = ReadPid(file);
  return probe;
}

void PublishStatusRecord(const std::string& path, std::string_view text) {
  const std::string temp = path + ".new";
  WriteWholeFile(temp, text);
  std::error_code ec;
  fs::permissions(
      temp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
      ec);
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw FileWriteError("Cannot replace the status record " + Utf8ToAnsi(path) + ": " + ec.message());
  }
}

}  // namespace vorel
