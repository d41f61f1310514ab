#include "service/settings_list.h"

namespace vorel {

std::string SettingsList::Get(std::string_view name) const {
  for (const auto& [n, v] : entries_) {
    if (n == name) return v;
  }
  return {};
}

void SettingsList::Set(std::string_view name, std::string_view value) {
  for (auto& [n, v] : entries_) {
    if (n == name) {
      v = value;
      return;
    }
  }
  entries_.emplace_back(name, value);
}

}  // namespace vorel
