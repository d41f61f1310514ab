#pragma once

#include <string>

#include "portal_state.h"

namespace vorel::portal {

// The simulator's web page: published tables, free and taken slots with buttons that queue a booking or a
// cancellation, the commands sent and their answers, the latest requests.
std::string RenderPage(const PortalState::Snapshot& snapshot);

// One line of the transcript for a request (UTF-8): its fields, compressed ones with their sizes.
std::string DescribeRequest(const ReceivedRequest& request);

}  // namespace vorel::portal
