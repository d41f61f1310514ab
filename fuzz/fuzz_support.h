#pragma once

// What several fuzz targets need around the code they fuzz: silent stand-ins for the logger and the portal,
// whole-file reads and writes, a scratch folder in memory, and a database connection over a folder.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "database/database_context.h"
#include "database/query.h"
#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/logger.h"

namespace vorel::fuzz {

class SilentLogger final : public Logger {
 public:
  void Log(std::string_view, std::string_view) override {}
  void SetError(int32_t, std::string_view) override {}
};

// A portal that cannot be reached.
class OfflinePortal final : public HttpClient {
 public:
  std::string Post(const std::string&, const std::string&, const std::string&) override {
    throw HttpConnectError("offline");
  }
  std::string Get(const std::string&) override { throw HttpConnectError("offline"); }
  ProxySettings& proxy() override { return proxy_; }
  void Disconnect() override {}

 private:
  ProxySettings proxy_;
};

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWhole(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<long>(bytes.size()));
}

// The input as a file of its own in memory, under a path the file functions open.
class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size) : fd_(memfd_create("fuzz", 0)) {
    if (fd_ >= 0 && write(fd_, data, size) != static_cast<ssize_t>(size)) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~InputFile() {
    if (fd_ >= 0) close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// A new folder named for the target and this process, in memory where the system has it: the targets that
// use one rewrite its files on every run, and their writes flush them. Removed with the object.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view target) {
    const std::filesystem::path memory = "/dev/shm";
    path_ = (std::filesystem::is_directory(memory) ? memory : std::filesystem::temp_directory_path()) /
            ("vorel_fuzz_" + std::string(target) + "_" + std::to_string(getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Empties the folder for the next run.
  void Clear() const {
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      std::filesystem::remove_all(entry.path());
  }

 private:
  std::filesystem::path path_;
};

// The database connection and query of the service over a folder, as the exports and commands use them.
struct FolderDatabase {
  explicit FolderDatabase(const std::filesystem::path& folder) {
    ado.SetConnectionString("Data Source=" + folder.string());
  }
  SilentLogger log;
  SystemClock clock;
  RegionalSettings regional;
  Connection ado;
  Query sql{ado, clock, regional};
  DatabaseContext ctx{ado, sql, log, clock, regional};
};

}  // namespace vorel::fuzz
