#include <windows.h>

#include "platform/oem_text.h"
#include "platform/windows/system_text.h"

namespace vorel {

std::string SystemAnsiToOem(std::string_view ansi) {
  const std::wstring wide = windows::AnsiToWide(ansi);
  if (wide.empty()) return {};
  std::string oem(wide.size(), '?');
  // Both code pages have one byte per character, so the text keeps its length.
  const int n = WideCharToMultiByte(windows::kOemCodePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    oem.data(), static_cast<int>(oem.size()), nullptr, nullptr);
  oem.resize(n > 0 ? static_cast<size_t>(n) : 0);
  oem.resize(ansi.size(), '?');
  return oem;
}

}  // namespace vorel
