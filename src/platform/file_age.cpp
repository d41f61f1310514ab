#include "platform/file_age.h"

#include "platform/file_lookup.h"
#include "platform/path_text.h"

namespace vorel {

int32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980 || year > 2107) return -1;
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (static_cast<uint32_t>(month) << 5) |
                        static_cast<uint32_t>(day);
  const uint32_t time = (static_cast<uint32_t>(hour) << 11) | (static_cast<uint32_t>(minute) << 5) |
                        static_cast<uint32_t>(second / 2);
  return static_cast<int32_t>((date << 16) | time);
}

int32_t FileAgeInFolder(std::string_view folderText, std::string_view fileName) {
  const auto path = FindFileIgnoringCase(FileSystemPath(folderText), fileName);
  return path ? FileAge(NarrowPath(*path)) : -1;
}

}  // namespace vorel
