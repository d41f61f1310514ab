#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/process.h"

// The portal's commands that act on the installation itself: adm_info, adm_update, adm_restart.
namespace vorel {

struct AdminContext {
  HttpClient& client;
  ProcessLauncher& launcher;
  const Clock& clock;
  std::string databasePath;   // the setting "path" (text)
  std::string programFolder;  // folder of the running program file, with its trailing separator (file system)
  std::string stateStoreFolder;  // where the POSIX restart script goes (file system)
  std::string updateHost;        // host of the update file server
  std::string serviceName = "VorelService";  // the unit (or service) the scripts stop and start
  // Where adm_update puts the new program and its script when the installed program must stay as installed;
  // empty: the program folder.
  std::string updateFolder = {};
};

// {"version":"620","base":<path>,"path":<program folder as text>}, values copied without escaping.
std::string AdminInfo(const AdminContext& ctx);

// Downloads the new program, saves it beside the running one and starts the update script.
std::string AdminUpdate(AdminContext& ctx);

// Writes and starts the restart script.
std::string AdminRestart(AdminContext& ctx);

}  // namespace vorel
