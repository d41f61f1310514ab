#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_write.h"
#include "platform/program_file.h"

namespace vorel {

// Written under a temporary name beside it (the path's own, so two instances never share one), checked to
// hold every byte, made runnable, then renamed: over an older file in one step where the system allows it;
// Windows wants the old name gone first.
void SaveProgramFile(const std::string& path, std::string_view data) {
  const std::string temp = path + ".part";
  try {
    WriteWholeFile(temp, data);
    struct stat written {};
    if (::stat(temp.c_str(), &written) != 0 || static_cast<std::size_t>(written.st_size) != data.size()) {
      throw FileWriteError("Cannot create file \"" + temp + "\". The written file is incomplete");
    }
    ::chmod(temp.c_str(), 0755);
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
      std::remove(path.c_str());
      if (std::rename(temp.c_str(), path.c_str()) != 0) {
        throw FileWriteError("Cannot create file \"" + path + "\". " + std::strerror(errno));
      }
    }
  } catch (...) {
    std::remove(temp.c_str());
    throw;
  }
}

}  // namespace vorel
