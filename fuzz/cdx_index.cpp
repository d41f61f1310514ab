// Fuzzes the CDX reader: the input is the image of an index file. Opening it, reading its tags and walking
// and seeking every tag must give entries or a clean error, never a read outside a page, a crash or a hang.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "dbf/cdx_file.h"
#include "dbf/dbf_errors.h"

using namespace vorel;
using namespace vorel::dbf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("cdx", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    CdxFile cdx(SharedFile::Open(path, SharedFile::Mode::kRead), "fuzz");
    for (const CdxTag& tag : cdx.tags()) {
      size_t n = 0;
      for (char pad : {' ', '\0'}) {
        cdx.ForEachEntry(tag, pad, [&](const CdxEntry&) { return ++n < 100000; });
        cdx.SeekFrom(tag, pad, std::string(tag.keyLength / 2, 'A'),
                     [&](const CdxEntry&) { return ++n < 200000; });
      }
    }
  } catch (const Error&) {
  }
  close(fd);
  return 0;
}
