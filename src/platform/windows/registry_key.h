#pragma once

#include <windows.h>

#include <string>

// An open registry key, closed with the object.
namespace vorel::windows {

class RegistryKey {
 public:
  // Opens for reading and writing, creating it when missing, the key named by `path`: a root
  // ("HKEY_LOCAL_MACHINE\" or "HKEY_CURRENT_USER\", HKEY_LOCAL_MACHINE when none is named) and a subkey path
  // whose trailing backslashes are ignored. Fails with StateStoreError naming the path.
  static RegistryKey Create(const std::string& path);

  RegistryKey(RegistryKey&& other) noexcept : key_(other.key_), path_(std::move(other.path_)) {
    other.key_ = nullptr;
  }
  RegistryKey& operator=(RegistryKey&&) = delete;
  RegistryKey(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }

  HKEY get() const { return key_; }
  const std::string& path() const { return path_; }

 private:
  RegistryKey(HKEY key, std::string path) : key_(key), path_(std::move(path)) {}
  HKEY key_;
  std::string path_;
};

}  // namespace vorel::windows
