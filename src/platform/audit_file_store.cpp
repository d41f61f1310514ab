#include <filesystem>
#include <mutex>

#include "platform/audit_store.h"
#include "platform/file_ops.h"
#include "platform/shared_file.h"

// The audit trail as a file of lines, one entry each, appended and flushed. A line that a crash cut short
// has no line end: it is cut off when the file is next opened, so that the next entry starts a line of its
// own. Pruning writes the kept lines to "<path>.new", flushes it and gives it the file's name in one step.
namespace vorel {
namespace {

std::string WholeFile(const SharedFile& file) {
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  bytes.resize(file.ReadAt(0, bytes));
  return bytes;
}

// Calls `line` with each whole line of the bytes (without its line end).
template <typename Visit>
void ForEachLine(std::string_view bytes, const Visit& line) {
  for (size_t start = 0, end; (end = bytes.find('\n', start)) != std::string_view::npos; start = end + 1)
    line(bytes.substr(start, end - start));
}

class AuditFile final : public AuditStore {
 public:
  AuditFile(std::string path, bool create) : path_(std::move(path)) {
    try {
      std::error_code ec;
      if (!std::filesystem::exists(path_, ec)) {
        if (!create) throw AuditStoreError("Audit trail: " + path_ + " does not exist");
        SharedFile::CreateNew(path_);
      }
      // Only the writer keeps the file open: Windows renames a pruned file over it only while nobody has it.
      if (create) {
        file_ = SharedFile::Open(path_, SharedFile::Mode::kReadWrite);
        CutTornLine();  // a reader leaves the writer's last line alone
      }
    } catch (const FileAccessError& e) {
      throw AuditStoreError(std::string("Audit trail: ") + e.what());
    }
  }

  void Append(const AuditEntry& entry) override {
    const std::string line = EncodeAuditEntry(entry) + '\n';
    std::lock_guard lock(mutex_);
    RequireWriter();
    try {
      const uint64_t end = file_.Size();
      file_.WriteAt(end, line);
      file_.Sync();
    } catch (const FileAccessError& e) {
      throw AuditStoreError(std::string("Audit trail: ") + e.what());
    }
  }

  std::vector<AuditEntry> Entries() override {
    std::string bytes;
    try {
      // Opened afresh: a pruning (of this or another process) may have put a new file in its place.
      std::lock_guard lock(mutex_);
      bytes = WholeFile(SharedFile::Open(path_, SharedFile::Mode::kRead));
    } catch (const FileAccessError& e) {
      throw AuditStoreError(std::string("Audit trail: ") + e.what());
    }
    std::vector<AuditEntry> entries;
    ForEachLine(bytes, [&](std::string_view line) {
      if (auto entry = DecodeAuditEntry(line)) entries.push_back(std::move(*entry));
    });
    return {entries.rbegin(), entries.rend()};
  }

  size_t PruneBefore(int64_t unixMillis) override {
    std::lock_guard lock(mutex_);
    RequireWriter();
    const std::string bytes = WholeFile(file_);
    std::string kept;
    size_t removed = 0;
    ForEachLine(bytes, [&](std::string_view line) {
      const auto entry = DecodeAuditEntry(line);
      if (entry && entry->unixMillis < unixMillis) {
        ++removed;
      } else {
        (kept += line) += '\n';
      }
    });
    if (removed == 0) return 0;
    const std::string fresh = path_ + ".new";
    try {
      RemoveFile(fresh);
      {
        SharedFile out = SharedFile::CreateNew(fresh);
        out.WriteAt(0, kept);
        out.Sync();
      }
      file_ = SharedFile();  // Windows renames over a file only while nobody has it open
      RenameFile(fresh, path_);
      SyncFolder(std::filesystem::path(path_).parent_path().string());
      file_ = SharedFile::Open(path_, SharedFile::Mode::kReadWrite);
    } catch (const FileAccessError& e) {
      if (!file_.isOpen()) file_ = SharedFile::Open(path_, SharedFile::Mode::kReadWrite);
      throw AuditStoreError(std::string("Audit trail: cannot prune: ") + e.what());
    }
    return removed;
  }

 private:
  void RequireWriter() const {
    if (!file_.isOpen()) throw AuditStoreError("Audit trail: " + path_ + " is open for reading only");
  }

  void CutTornLine() {
    const uint64_t size = file_.Size();
    if (size == 0) return;
    char last = '\n';
    file_.ReadAt(size - 1, std::span<char>(&last, 1));
    if (last == '\n') return;
    const std::string bytes = WholeFile(file_);
    const size_t end = bytes.rfind('\n');
    file_.Truncate(end == std::string::npos ? 0 : end + 1);
    file_.Sync();
  }

  std::string path_;
  std::mutex mutex_;
  SharedFile file_;
};

}  // namespace

std::unique_ptr<AuditStore> OpenAuditFile(const std::string& path, bool create) {
  return std::make_unique<AuditFile>(path, create);
}

}  // namespace vorel
