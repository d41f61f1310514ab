#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_write.h"
#include "platform/program_file.h"

namespace vorel {
namespace {

// Creates the folder (for the owner alone) when it is missing; its parents must exist.
void MakeFolder(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return;
#ifdef _WIN32
  ::_mkdir(folder.c_str());
#else
  ::mkdir(folder.c_str(), 0700);
#endif
}

}  // namespace

// Written under a temporary name beside it (the path's own, so two instances never share one), checked to
// hold every byte, made runnable, then renamed: over an older file in one step where the system allows it;
// Windows wants the old name gone first.
void SaveProgramFile(const std::string& path, std::string_view data) {
  const std::string temp = path + ".part";
  const std::size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos && slash > 0) MakeFolder(path.substr(0, slash));
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
