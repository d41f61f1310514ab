#include <windows.h>
// after windows.h
#include <shlobj.h>

#include "platform/program_location.h"
#include "platform/state_store_factory.h"
#include "platform/status_record.h"
#include "platform/windows/service_data_folder.h"

namespace vorel {

// %ProgramData%\VorelService\: what the running service writes besides the registry. Program Files stays
// as the installer left it, so that removing the package removes the program's folder whole. The folder is
// asked of the system: the environment of a service may name another one (Wine's does).
std::string ServiceDataFolder() {
  char base[MAX_PATH] = {};
  const bool known =
      SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base));
  return (known ? std::string(base) : std::string("C:\\ProgramData")) + "\\VorelService\\";
}

// The key every installation keeps its values in; an operator edits it with the registry editor.
std::string StateStoreLocation() {
  return "HKEY_LOCAL_MACHINE\\Software\\VorelServer\\";
}

// The registry has no folder; the program's own folder stands in for it.
std::string StateStoreFolder() {
  return ProgramFolder();
}

StatusRecordPaths PlatformStatusRecordPaths() {
  const std::string folder = ServiceDataFolder();
  return {folder + "VorelService.status", folder + "VorelService.lock"};
}

}  // namespace vorel
