#pragma once

#include <string>

#include "platform/state_store.h"

namespace vorel {

// The host of the portal: the state store value "portal_host" when non-empty, else the built-in one.
std::string PortalHost(StateStore& store);

// The host of the update file server: "update_host" when non-empty, else the built-in one.
std::string UpdateHost(StateStore& store);

// The portal's server script: the override, or "http://" + host + "/medic/server.php".
std::string PortalAddress(const std::string& serverAddressOverride, const std::string& portalHost);

// PortalAddress + "?id=" + id + "&pass=" + pass, with id and pass escaped as query values, so that the
// portal reads them exactly as stored.
std::string RequestAddress(const std::string& serverAddressOverride, const std::string& portalHost,
                           const std::string& id, const std::string& pass);

}  // namespace vorel
