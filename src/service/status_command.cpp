#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/state_store_factory.h"
#include "platform/status_record.h"
#include "service/operator_commands.h"
#include "service/status_check.h"

// vorel_service status: reads only the status record and the lock beside the store, never the store, so
// that a monitoring agent's own user can run it; exit status and first line as the monitoring plugins want.
namespace vorel {
namespace {

constexpr const char* kStatusUsage = "usage: vorel_service status [--warning SECONDS]";

bool ParseSeconds(const char* text, int64_t& value) {
  const char* end = text + std::strlen(text);
  const auto [stop, ec] = std::from_chars(text, end, value);
  return ec == std::errc() && stop == end && stop != text && value > 0;
}

StatusVerdict Check(int64_t warnAfter) {
  const StatusRecordPaths paths = PlatformStatusRecordPaths();
  StatusInput input;
  input.warnAfter = warnAfter;
  input.stateStore = StateStoreLocation();
  input.now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  try {
    input.running = ProbeServiceLock(paths.lock).held;
  } catch (const std::exception& e) {
    return UnknownStatus(std::string("cannot tell whether the service runs: ") + e.what());
  }
  std::error_code ec;
  if (std::filesystem::exists(paths.record, ec)) {
    std::ifstream in(paths.record, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
      return UnknownStatus("cannot read the status record " + paths.record + ": " + std::strerror(errno));
    input.facts = ParseStatusRecord(text.str());
  } else if (ec) {
    return UnknownStatus("cannot reach the status record " + paths.record + ": " + ec.message());
  }
  return JudgeStatus(input);
}

}  // namespace

int RunStatusCommand(int argc, char** argv) {
  int64_t warnAfter = 600;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--warning") == 0 && i + 1 < argc && ParseSeconds(argv[i + 1], warnAfter)) {
      ++i;
    } else {
      const StatusVerdict usage = UnknownStatus(kStatusUsage);
      std::fputs(usage.text.c_str(), stdout);
      return static_cast<int>(usage.state);
    }
  }
  const StatusVerdict verdict = Check(warnAfter);
  std::fputs(verdict.text.c_str(), stdout);
  std::fflush(stdout);
  return static_cast<int>(verdict.state);
}

}  // namespace vorel
