#pragma once

// The floor every scan is measured against: every byte of a file read sequentially through one reused 1 MB
// buffer, as fast as the page cache gives it.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace vorel {

inline size_t ReadWholeFile(const std::filesystem::path& file, std::vector<char>& buffer) {
  buffer.resize(1 << 20);
  const int fd = ::open(file.c_str(), O_RDONLY);
  size_t total = 0;
  for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
    total += static_cast<size_t>(n);
  if (fd >= 0) ::close(fd);
  return total;
}

}  // namespace vorel
