#include <sys/stat.h>

#include <ctime>

#include "platform/file_age.h"

namespace vorel {

int32_t FileAge(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  std::tm tm{};
  const std::time_t t = st.st_mtime;
  if (localtime_r(&t, &tm) == nullptr) return -1;
  return PackDosDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

}  // namespace vorel
