#include "exchange/request_address.h"

#include "build_config.h"
#include "platform/url_text.h"

namespace vorel {

std::string PortalHost(StateStore& store) {
  std::string host = store.Read("portal_host");
  return host.empty() ? std::string(build::kPortalHost) : host;
}

std::string UpdateHost(StateStore& store) {
  std::string host = store.Read("update_host");
  return host.empty() ? std::string(build::kUpdateHost) : host;
}

std::string PortalAddress(const std::string& serverAddressOverride, const std::string& portalHost) {
  return serverAddressOverride.empty() ? "http://" + portalHost + "/medic/server.php" : serverAddressOverride;
}

std::string RequestAddress(const std::string& serverAddressOverride, const std::string& portalHost,
                           const std::string& id, const std::string& pass) {
  std::string address = PortalAddress(serverAddressOverride, portalHost);
  address += "?id=";
  AppendUrlQueryValue(address, id);
  address += "&pass=";
  AppendUrlQueryValue(address, pass);
  return address;
}

}  // namespace vorel
