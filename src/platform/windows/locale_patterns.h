#pragma once

#include <string>
#include <string_view>

#include "platform/regional.h"

// Turning the system locale's date, time and number settings into the service's regional settings.
namespace vorel::windows {

// The short date and long time patterns of the locale (LOCALE_SSHORTDATE, LOCALE_STIMEFORMAT) and its decimal
// separator (LOCALE_SDECIMAL), in Windows-1251, made into patterns the service's formatter writes as the
// system would: quoted literals lose their quotes ('' is one quote), and a 12-hour time with an AM/PM marker
// ("h:mm:ss tt") becomes the 24-hour "H:mm:ss", since the formatter has no AM/PM texts. An empty pattern or
// separator keeps the default of RegionalSettings.
RegionalSettings RegionalSettingsFromLocale(std::string_view shortDate, std::string_view longTime,
                                            std::string_view decimalSeparator);

}  // namespace vorel::windows
