#include "platform/windows/registry_key.h"

#include <string_view>

#include "platform/state_store.h"
#include "platform/windows/system_text.h"

namespace vorel::windows {
namespace {

struct Root {
  std::string_view prefix;
  HKEY key;
};
const Root kRoots[] = {{"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
                       {"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER}};

}  // namespace

RegistryKey RegistryKey::Create(const std::string& path) {
  HKEY root = HKEY_LOCAL_MACHINE;
  std::string_view subKey = path;
  for (const Root& r : kRoots) {
    if (subKey.substr(0, r.prefix.size()) == r.prefix) {
      root = r.key;
      subKey.remove_prefix(r.prefix.size());
      break;
    }
  }
  while (!subKey.empty() && subKey.back() == '\\') subKey.remove_suffix(1);
  HKEY key = nullptr;
  const LONG rc = RegCreateKeyExA(root, std::string(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    throw StateStoreError("State store: cannot open the registry key " + path + ": " + SystemErrorText(rc));
  }
  return RegistryKey(key, path);
}

}  // namespace vorel::windows
