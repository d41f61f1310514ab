#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/error.h"
#include "platform/program_location.h"

namespace vorel {

std::string ProgramPath() {
  std::string path(4096, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) throw Error(std::string("Cannot find the program file: ") + std::strerror(errno));
    if (static_cast<std::size_t>(n) < path.size()) {
      path.resize(static_cast<std::size_t>(n));
      break;
    }
    path.resize(path.size() * 2);
  }
  // A program file replaced by an update while running is reported with this mark; the path still names
  // where the program is installed.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
  return path;
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace vorel
