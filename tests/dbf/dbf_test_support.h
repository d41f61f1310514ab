#pragma once

#include <filesystem>
#include <random>
#include <fstream>
#include <iterator>
#include <string>

// Small helpers of the table file tests: a scratch folder and whole-file byte access.
namespace vorel::dbf::testing {

class TempFolder {
 public:
  // A new folder with a random name (create_directory reports whether it was new, so two tests never share).
  TempFolder() {
    std::random_device random;
    do {
      path_ = std::filesystem::temp_directory_path() / ("vorel_dbf_" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::filesystem::path FixturePath(const std::string& relative) {
  return std::filesystem::path(VOREL_FIXTURES_DIR) / "vfp" / relative;
}

// Copies a fixture into `folder` (writable copy) and returns the copy's path.
inline std::filesystem::path CopyFixture(const std::string& relative, const std::filesystem::path& folder) {
  const auto from = FixturePath(relative);
  const auto to = folder / from.filename();
  WriteBytes(to, ReadBytes(from));
  return to;
}

}  // namespace vorel::dbf::testing
