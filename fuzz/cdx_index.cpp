// Fuzzes the CDX reader: the input is the image of an index file. Opening it, reading its tags and walking
// and seeking every tag must give entries or a clean error, never a read outside a page, a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbf/cdx_file.h"
#include "dbf/dbf_errors.h"
#include "fuzz_support.h"

using namespace vorel;
using namespace vorel::dbf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzz::InputFile input(data, size);
  if (!input.ok()) return 0;
  const std::string path = input.path();
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
  return 0;
}
