// Fuzzes the memo (FPT) reader and the staging of an appended value: the input is the image of a memo file.
// Reading any block and staging a new value must give a value or a clean error, never a read outside the
// file, an allocation the claimed lengths ask for beyond the memo limit, or a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbf/dbf_errors.h"
#include "dbf/memo_file.h"
#include "fuzz_support.h"

using namespace vorel;
using namespace vorel::dbf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzz::InputFile input(data, size);
  if (!input.ok()) return 0;
  const std::string path = input.path();
  try {
    MemoFile memo(SharedFile::Open(path, SharedFile::Mode::kReadWrite), "fuzz");
    for (uint32_t block : {0u, 1u, 7u, 8u, 9u, 64u, 0x7FFFFFu, 0xFFFFFFFFu}) {
      try {
        (void)memo.Read(block);
      } catch (const Error&) {
      }
    }
    StagedFile staged(memo.file());
    HeldLocks locks;
    const uint32_t block = memo.Append(kMemoTypeText, "value", staged, locks, LockTiming{});
    (void)block;
    (void)staged.Size();
  } catch (const Error&) {
  }
  return 0;
}
