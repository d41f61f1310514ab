#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audit_store.h"
#include "platform/code_page.h"
#include "service/audit_view.h"
#include "service/operator_commands.h"

// The operator's view of the audit trail: the entries, newest first, selected by day, slot or patient.
namespace vorel {
namespace {

constexpr const char* kAuditUsage =
    "usage: vorel_service audit [--since YYYYMMDD] [--slot KW YYYYMMDD HH:MM] [--patient KL] [--json]\n";

bool IsDigits(std::string_view text, size_t length) {
  if (text.size() != length) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool IsTime(std::string_view text) {
  return text.size() == 5 && text[2] == ':' && IsDigits(text.substr(0, 2), 2) && IsDigits(text.substr(3), 2);
}

// The filter the arguments ask for; std::nullopt (with `json` untouched) when they are not understood.
std::optional<AuditFilter> ParseArguments(const std::vector<std::string_view>& args, bool& json) {
  AuditFilter filter;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--since" && i + 1 < args.size() && IsDigits(args[i + 1], 8)) {
      filter.since = args[++i];
    } else if (a == "--slot" && i + 3 < args.size() && !args[i + 1].empty() && IsDigits(args[i + 2], 8) &&
               IsTime(args[i + 3])) {
      filter.slot =
          AuditFilter::Slot{std::string(args[i + 1]), std::string(args[i + 2]), std::string(args[i + 3])};
      i += 3;
    } else if (a == "--patient" && i + 1 < args.size() && !args[i + 1].empty()) {
      filter.patient = args[++i];
    } else {
      return std::nullopt;
    }
  }
  return filter;
}

}  // namespace

int RunAuditCommand(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  bool json = false;
  const auto filter = ParseArguments(args, json);
  if (!filter) {
    std::fprintf(stderr, "vorel_service audit: bad arguments\n%s", kAuditUsage);
    return 2;
  }
  try {
    const auto store = OpenPlatformAuditStore(false);
    for (const AuditEntry& entry : store->Entries()) {
      if (!AuditEntryMatches(*filter, entry)) continue;
      const std::string shown = json ? AuditEntryJson(entry) + "\n" : AuditEntryText(entry);
      std::fwrite(shown.data(), 1, shown.size(), stdout);
    }
    if (std::fflush(stdout) != 0) throw Error("cannot write the output");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vorel_service audit: %s\n", AnsiToUtf8(e.what()).c_str());
    return 1;
  }
  return 0;
}

}  // namespace vorel
