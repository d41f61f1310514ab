#include <windows.h>

#include "platform/regional.h"
#include "platform/windows/locale_patterns.h"
#include "platform/windows/system_text.h"

namespace vorel {
namespace {

// One setting of the locale of the account the service runs under (for LocalSystem: the system's default
// profile), in Windows-1251; empty when the system cannot tell.
std::string LocaleText(LCTYPE type) {
  wchar_t buffer[100] = {};
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 100);
  if (n <= 1) return {};
  return windows::WideToAnsi(std::wstring_view(buffer, static_cast<size_t>(n - 1)));
}

}  // namespace

RegionalSettings SystemRegionalSettings() {
  return windows::RegionalSettingsFromLocale(LocaleText(LOCALE_SSHORTDATE), LocaleText(LOCALE_STIMEFORMAT),
                                             LocaleText(LOCALE_SDECIMAL));
}

}  // namespace vorel
