#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "platform/shared_file.h"

// The writes one statement makes to one file, held in memory until the statement commits them all at once.
// Reads through it see the file as it will be once they are made.
namespace vorel::dbf {

class StagedFile {
 public:
  explicit StagedFile(SharedFile& file) : file_(&file) {}

  SharedFile& file() const { return *file_; }
  // Reads as SharedFile::ReadAt does, from the file with the staged writes laid over it; bytes between the
  // file's end and a staged write read as zero.
  size_t ReadAt(uint64_t offset, std::span<char> buffer) const;
  void WriteAt(uint64_t offset, std::span<const char> bytes);
  // The file's size once the staged writes are made.
  uint64_t Size() const;

  bool empty() const { return writes_.empty(); }
  // The staged writes: offset -> bytes; ranges neither overlap nor touch.
  const std::map<uint64_t, std::string>& writes() const { return writes_; }
  void Clear() { writes_.clear(); }

 private:
  SharedFile* file_;
  std::map<uint64_t, std::string> writes_;
};

}  // namespace vorel::dbf
