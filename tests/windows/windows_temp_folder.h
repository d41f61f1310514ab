#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/windows/system_text.h"

namespace vorel::test {

inline constexpr const char* kNoCyrillicNames =
    "this Wine cannot keep Cyrillic file names (the host lacks the ru_RU.UTF-8 locale)";

// A fresh folder under the system's temporary folder, removed with everything in it at the end. Paths are
// handed out as Windows-1251 text, the way the service passes paths to the system.
class WindowsTempFolder {
 public:
  WindowsTempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    static int counter = 0;
    for (;;) {
      path_ = std::filesystem::path(base) /
              (L"vorel_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter));
      if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
  }
  ~WindowsTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  WindowsTempFolder(const WindowsTempFolder&) = delete;
  WindowsTempFolder& operator=(const WindowsTempFolder&) = delete;

  // The folder, without a trailing backslash.
  std::string path() const { return windows::WideToAnsi(path_.wstring()); }
  std::string Path(const std::string& name) const { return path() + "\\" + name; }
  std::filesystem::path WidePath(const std::wstring& name) const { return path_ / name; }

  // Whether the file system keeps Cyrillic names (under Wine it needs a UTF-8 locale of the host).
  bool KeepsCyrillicNames() const {
    const std::filesystem::path probe = path_ / L"\u0416";
    if (!CreateDirectoryW(probe.c_str(), nullptr)) return false;
    RemoveDirectoryW(probe.c_str());
    return true;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vorel::test
