#include "platform/file_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/fault_injection.h"
#include "platform/path_text.h"

namespace vorel {

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  auto fail = [&](int err) {
    throw FileWriteError("Cannot create file \"" + NarrowPathText(path) + "\". " + std::strerror(err));
  };
  const FaultKind fault = MeetFileFault(FileOperation::kWrite);
  if (fault != FaultKind::kNone) fail(fault == FaultKind::kNoSpace ? ENOSPC : EIO);
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) fail(errno);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) fail(errno);
  if (std::fflush(file.get()) != 0) fail(errno);
}

}  // namespace vorel
