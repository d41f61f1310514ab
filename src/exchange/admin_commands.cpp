#include "exchange/admin_commands.h"

#include <random>

#include "exchange/admin_scripts.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/file_write.h"
#include "platform/path_text.h"
#include "platform/program_file.h"

namespace vorel {
namespace {

constexpr std::size_t kSmallestProgram = 100000;  // a download of this size or less is no program
constexpr AnsiText kMessageWord(" сообщение: ");

}  // namespace

std::string AdminInfo(const AdminContext& ctx) {
  return "{\"version\":\"620\",\"base\":\"" + ctx.databasePath + "\",\"path\":\"" +
         NarrowPathText(ctx.programFolder) + "\"}";
}

std::string AdminUpdate(AdminContext& ctx) {
  std::string result;
  try {
    // A fresh number in the address keeps caches between the service and the server out of the way.
    std::mt19937 random(static_cast<unsigned>(ctx.clock.Now().time_since_epoch().count()));
    const int draw = std::uniform_int_distribution<int>(0, 999999)(random);
    const std::string address =
        "http://" + ctx.updateHost + "/upload/vorel_service.zip?" + std::to_string(draw);
    const std::string data = ctx.client.Get(address);
    if (data.size() <= kSmallestProgram || !IsRunnableProgram(data)) return "file load error";
    result = "start load ";
    const std::string& folder = ctx.updateFolder.empty() ? ctx.programFolder : ctx.updateFolder;
    const AdminScripts scripts = ScriptsForThisPlatform(folder, ctx.stateStoreFolder, ctx.serviceName);
    SaveProgramFile(folder + scripts.newProgramName, data);
    const std::string scriptPath = folder + scripts.updateScriptName;
    WriteWholeFile(scriptPath, scripts.updateScript);
    result += "file create ";
    ctx.launcher.StartDetached(scriptPath);
    result += "load... Size:" + std::to_string(data.size());
  } catch (const std::exception& e) {
    result += std::string(" *") + e.what() + " message: " + KindOf(e);
  }
  return result;
}

std::string AdminRestart(AdminContext& ctx) {
  try {
    const AdminScripts scripts =
        ScriptsForThisPlatform(ctx.programFolder, ctx.stateStoreFolder, ctx.serviceName);
    WriteWholeFile(scripts.restartScriptPath, scripts.restartScript);
    ctx.launcher.StartDetached(scripts.restartScriptPath);
    return "restart... " + NarrowPathText(scripts.restartScriptPath);
  } catch (const std::exception& e) {
    return std::string(e.what()) + std::string(kMessageWord.view()) + KindOf(e);
  }
}

}  // namespace vorel
