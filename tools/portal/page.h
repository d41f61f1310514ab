#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/audit_store.h"
#include "portal_state.h"

namespace vorel::portal {

// What part of the schedule the page shows: a week of days from `firstDay` (an index into its days).
struct PageView {
  std::size_t firstDay = 0;
};
inline constexpr std::size_t kDaysShown = 7;

// The simulator's web page: the schedule as a grid of doctors by day whose free and taken slots book and
// cancel with a click, the commands sent and their answers, the published reference tables and the latest
// requests; it refreshes itself and fits a window 1280 pixels wide.
// `audit` holds the audit trail's entries of the commands sent from here, newest first (`auditProblem` says
// why there are none when the trail cannot be read).
std::string RenderPage(const PortalState::Snapshot& snapshot, const PageView& view,
                       const std::vector<AuditEntry>& audit = {}, const std::string& auditProblem = {});

// The entries of the trail whose session token is one of the commands sent from here.
std::vector<AuditEntry> EntriesOfCommands(const std::vector<AuditEntry>& trail,
                                          const std::vector<CommandRecord>& commands);

// One line of the transcript for a request (UTF-8): its fields, compressed ones with their sizes.
std::string DescribeRequest(const ReceivedRequest& request);

}  // namespace vorel::portal
