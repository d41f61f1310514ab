#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "platform/program_file.h"
#include "platform/program_location.h"

namespace vorel {

std::string UpdateFolder() {
  const char* folder = std::getenv("VOREL_UPDATE_FOLDER");
  if (folder == nullptr || *folder == '\0') return {};
  std::string text = folder;
  if (text.back() != '/') text += '/';
  return text;
}

void RunNewerUpdate() {
  const std::string folder = UpdateFolder();
  if (folder.empty()) return;
  const std::string update = folder + std::string(ProgramFileName());
  struct stat candidate {};
  struct stat running {};
  if (::stat(update.c_str(), &candidate) != 0 || !S_ISREG(candidate.st_mode) ||
      ::access(update.c_str(), X_OK) != 0) {
    return;
  }
  try {
    if (::stat(ProgramPath().c_str(), &running) != 0) return;
  } catch (const Error&) {
    return;
  }
  const bool same = candidate.st_dev == running.st_dev && candidate.st_ino == running.st_ino;
  const bool newer = candidate.st_mtim.tv_sec > running.st_mtim.tv_sec ||
                     (candidate.st_mtim.tv_sec == running.st_mtim.tv_sec &&
                      candidate.st_mtim.tv_nsec > running.st_mtim.tv_nsec);
  if (same || !newer) return;
  ::execl(update.c_str(), update.c_str(), static_cast<char*>(nullptr));
  // Not runnable after all: the installed program goes on.
}

}  // namespace vorel
