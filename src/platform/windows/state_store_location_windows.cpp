#include "platform/program_location.h"
#include "platform/state_store_factory.h"
#include "platform/status_record.h"

namespace vorel {

// The key every installation keeps its values in; an operator edits it with the registry editor.
std::string StateStoreLocation() {
  return "HKEY_LOCAL_MACHINE\\Software\\VorelServer\\";
}

// The registry has no folder; the program's own folder stands in for it.
std::string StateStoreFolder() {
  return ProgramFolder();
}

StatusRecordPaths PlatformStatusRecordPaths() {
  return {ProgramFolder() + "VorelService.status", ProgramFolder() + "VorelService.lock"};
}

}  // namespace vorel
