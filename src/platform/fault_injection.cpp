#include "platform/fault_injection.h"

#include <array>
#include <atomic>
#include <charconv>
#include <string>

namespace vorel {

namespace {

// The seam's whole state: one plan and one count for the process, set by tests before the work they try.
std::atomic<uint64_t> gCount{0};
std::array<std::atomic<uint64_t>, kFileOperationKinds> gCountOf{};
std::atomic<uint64_t> gAt{0};
std::atomic<FaultKind> gKind{FaultKind::kNone};

}  // namespace

void SetFaultPlan(const FaultPlan& plan) {
  gKind = plan.kind;
  gAt = plan.kind == FaultKind::kNone ? 0 : plan.at;
  gCount = 0;
  for (auto& count : gCountOf) count = 0;
}

FaultPlan ParseFaultPlan(std::string_view text) {
  if (text == "none") return {};
  static constexpr std::pair<std::string_view, FaultKind> kKinds[] = {{"kill", FaultKind::kEndProcess},
                                                                      {"tear", FaultKind::kTornWrite},
                                                                      {"eio", FaultKind::kIoError},
                                                                      {"enospc", FaultKind::kNoSpace}};
  const size_t at = text.find('@');
  if (at != std::string_view::npos) {
    const std::string_view name = text.substr(0, at), number = text.substr(at + 1);
    uint64_t n = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), n);
    if (error == std::errc() && end == number.data() + number.size() && n > 0)
      for (const auto& [word, kind] : kKinds)
        if (word == name) return {kind, n};
  }
  throw FaultPlanError("Invalid fault plan '" + std::string(text) + "' (kill@N, tear@N, eio@N, enospc@N)");
}

uint64_t FileOperationCount() {
  return gCount;
}

uint64_t FileOperationCount(FileOperation operation) {
  return gCountOf[static_cast<size_t>(operation)];
}

FaultKind MeetFileFault(FileOperation operation, const std::function<void()>& writeHalf) {
  ++gCountOf[static_cast<size_t>(operation)];
  if (++gCount != gAt) return FaultKind::kNone;
  FaultKind fault = gKind;
  // Only a write can be torn; any other operation just ends.
  if (fault == FaultKind::kTornWrite && operation != FileOperation::kWrite) fault = FaultKind::kEndProcess;
  if (writeHalf && (fault == FaultKind::kTornWrite || fault == FaultKind::kNoSpace)) writeHalf();
  if (fault == FaultKind::kEndProcess || fault == FaultKind::kTornWrite) EndProcessAtFault();
  return fault;
}

}  // namespace vorel
