#include "dbf/memo_file.h"

#include <algorithm>

#include "dbf/byte_order.h"
#include "dbf/dbf_errors.h"
#include "dbf/file_limits.h"

namespace vorel::dbf {

namespace {

constexpr size_t kMemoHeaderSize = 512;
constexpr size_t kBlockHeaderSize = 8;
// Other engines disagree on the allocation lock byte of a memo file; holding both is safe with either.
constexpr uint64_t kMemoLockBytes[] = {0, 0x40000000};

}  // namespace

MemoFile::MemoFile(SharedFile file, std::string tableName)
    : file_(std::move(file)), tableName_(std::move(tableName)) {}

void MemoFile::Create(const std::string& path, uint16_t blockSize) {
  if (blockSize == 0) blockSize = 64;
  std::string header(kMemoHeaderSize, '\0');
  StoreBe32(&header[0], static_cast<uint32_t>((kMemoHeaderSize + blockSize - 1) / blockSize));
  StoreBe16(&header[6], blockSize);
  SharedFile file = SharedFile::CreateNew(path);
  file.WriteAt(0, header);
}

uint16_t MemoFile::BlockSize() const {
  char header[8];
  if (file_.ReadAt(0, header) < sizeof header)
    throw CorruptTableError("Memo file of table " + tableName_ + " is damaged: the header is truncated");
  const uint16_t size = LoadBe16(header + 6);
  if (size == 0) throw CorruptTableError("Memo file of table " + tableName_ + " is damaged: block size 0");
  return size;
}

std::string MemoFile::Read(uint32_t block) const {
  if (block == 0) return {};
  const uint64_t start = static_cast<uint64_t>(block) * BlockSize();
  const uint64_t size = file_.Size();
  auto corrupt = [&](const std::string& what) {
    return CorruptTableError("Memo file of table " + tableName_ + " is damaged: " + what);
  };
  if (start < kMemoHeaderSize || start + kBlockHeaderSize > size)
    throw corrupt("memo block " + std::to_string(block) + " lies past the end of the file");
  char head[kBlockHeaderSize];
  file_.ReadAt(start, head);
  const uint32_t length = LoadBe32(head + 4);
  if (length > size - start - kBlockHeaderSize)
    throw corrupt("memo block " + std::to_string(block) + " claims " + std::to_string(length) +
                  " bytes past the end of the file");
  if (length > kMemoValueLimit)
    throw MemoTooLargeError("Memo file of table " + tableName_ + ": memo block " + std::to_string(block) +
                            " holds " + std::to_string(length) + " bytes, more than the limit of " +
                            std::to_string(kMemoValueLimit >> 20) + " MB for one value");
  std::string data(length, '\0');
  if (file_.ReadAt(start + kBlockHeaderSize, data) < length)
    throw corrupt("memo block " + std::to_string(block) + " is truncated");
  return data;
}

void MemoFile::Lock(HeldLocks& locks, const LockTiming& timing) {
  for (uint64_t offset : kMemoLockBytes)
    if (!locks.Acquire(file_, offset, timing))
      throw RecordLockedError("Memo file of table " + tableName_ + " is in use by another user");
}

uint32_t MemoFile::Append(uint32_t type, std::string_view data, StagedFile& staged, HeldLocks& locks,
                          const LockTiming& timing) {
  Lock(locks, timing);
  char header[8];
  if (staged.ReadAt(0, header) < sizeof header)
    throw CorruptTableError("Memo file of table " + tableName_ + " is damaged: the header is truncated");
  const uint16_t blockSize = LoadBe16(header + 6);
  if (blockSize == 0)
    throw CorruptTableError("Memo file of table " + tableName_ + " is damaged: block size 0");
  // Never write over bytes that exist, whatever the header says.
  const uint64_t fileBlocks = (staged.Size() + blockSize - 1) / blockSize;
  const uint64_t firstFree = (kMemoHeaderSize + blockSize - 1) / blockSize;
  const uint64_t block = std::max<uint64_t>({LoadBe32(header), fileBlocks, firstFree});
  const uint64_t blocks = (kBlockHeaderSize + data.size() + blockSize - 1) / blockSize;
  // Block numbers stay within 32 bits as long as the file stays below the limit (blocks are at least 1 byte).
  if ((block + blocks) * blockSize > kCompanionFileLimit)
    throw TableFileError("Memo file of table " + tableName_ +
                         " has reached its size limit of 2 GB; nothing was written");
  std::string bytes(blocks * blockSize, '\0');
  StoreBe32(&bytes[0], type);
  StoreBe32(&bytes[4], static_cast<uint32_t>(data.size()));
  std::copy(data.begin(), data.end(), bytes.begin() + kBlockHeaderSize);
  staged.WriteAt(block * blockSize, bytes);
  char next[4];
  StoreBe32(next, static_cast<uint32_t>(block + blocks));
  staged.WriteAt(0, next);
  return static_cast<uint32_t>(block);
}

}  // namespace vorel::dbf
