#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/state_store_factory.h"
#include "platform/status_record.h"

namespace vorel {

namespace {
constexpr const char* kDefaultLocation = "/var/lib/vorel_service/state.db";
}  // namespace

std::string StateStoreLocation() {
  const char* env = std::getenv("VOREL_STATE");
  std::filesystem::path path = (env != nullptr && *env != '\0') ? env : kDefaultLocation;
  // The unit file and the update scripts hand the path to processes that start in another folder.
  if (path.is_relative()) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (!ec) path = absolute;
  }
  return path.lexically_normal().string();
}

std::string StateStoreFolder() {
  std::string folder = std::filesystem::path(StateStoreLocation()).parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

StatusRecordPaths PlatformStatusRecordPaths() {
  return StatusRecordPathsFor(StateStoreLocation());
}

}  // namespace vorel
