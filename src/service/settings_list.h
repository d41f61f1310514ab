#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/exchange_context.h"

// The in-memory name=value list of the service's configuration ("path", "id", "pass", and the proxy values),
// as the exchange sees it through SettingsAccess.
namespace vorel {

class SettingsList final : public SettingsAccess {
 public:
  // The value of the name, or empty text when the name is not in the list.
  std::string Get(std::string_view name) const override;
  // Replaces the value of a name in the list, or adds the pair at the end.
  void Set(std::string_view name, std::string_view value) override;
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace vorel
