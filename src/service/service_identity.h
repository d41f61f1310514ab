#pragma once

#include <string_view>

#include "platform/code_page.h"
#include "platform/service_host.h"

namespace vorel {

// The version number the service reports everywhere, in decimal.
inline constexpr std::string_view kServiceVersion = "620";

inline constexpr std::string_view kServiceName = "VorelService";
inline constexpr AnsiText kServiceDisplayName("VorelServer - Запись через интернет");

inline ServiceIdentity VorelServiceIdentity() {
  return {std::string(kServiceName), kServiceDisplayName.str()};
}

}  // namespace vorel
