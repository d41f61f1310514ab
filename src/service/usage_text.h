#pragma once

#include <string>

namespace vorel {

// What `vorel_service --help` prints: every command with its arguments, the settings and the environment.
std::string UsageText();

}  // namespace vorel
