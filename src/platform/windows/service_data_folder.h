#pragma once

#include <string>

namespace vorel {

// %ProgramData%\VorelService\ (with its trailing backslash), as the system names it: what the running
// service writes besides the registry (the status record, the lock, the audit trail).
std::string ServiceDataFolder();

}  // namespace vorel
