// The portal's reply line, as any bytes: split into the reply fields and dispatched over the real command
// table (dispatcher commands bound to in-memory stand-ins). Checks that the fields put back together give
// the reply, and that the session token is the reply's first field.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "exchange/dispatch_reply.h"
#include "exchange/split_fields.h"
#include "fuzz_support.h"

namespace {

using namespace vorel;

class MemoryStore final : public StateStore {
 public:
  std::string Read(std::string_view name) override {
    auto it = values_.find(std::string(name));
    return it == values_.end() ? std::string() : it->second;
  }
  void Write(std::string_view name, std::string_view value) override { values_[std::string(name)] = value; }

 private:
  std::map<std::string, std::string> values_;
};

class MapSettings final : public SettingsAccess {
 public:
  std::string Get(std::string_view) const override { return {}; }
  void Set(std::string_view, std::string_view) override {}
};

struct World {
  ExchangeState state;
  fuzz::SilentLogger logger;
  MemoryStore store;
  MapSettings settings;
  fuzz::OfflinePortal client;
  ClinicAccess clinic;
  SystemClock clock;
  RegionalSettings regional;
  std::atomic<int32_t> stop{0};
  CommandTable commands;
  PatientCacheHooks cache;
  ExchangeContext ctx{state, logger,   store, settings, client, clinic,
                      clock, regional, stop,  commands, cache,  "h"};

  World() {
    clinic.specExport = [] { return std::string("spec"); };
    clinic.freeSlotExport = [] { return std::string("nomer"); };
    clinic.groupListExport = [] { return std::string("ci004"); };
    clinic.renderTableXml = [](const std::string& t, const std::string& s) { return t + s; };
    clinic.dateWindowView = [](const std::string& a, const std::string& b) { return a + b; };
    clinic.patientView = [](const std::string& id) { return id; };
    cache.load = [] {};
    BindExchangeCommands(ctx);
    commands.Bind("user", [](const ReplyFields& f) { return f[2] + f[3]; });
    commands.Bind("zapis", [](const ReplyFields& f) -> std::string {
      if (f[8].empty()) throw Error("no patient");
      return "ok";
    });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  const std::string reply(reinterpret_cast<const char*>(data), size);

  const ReplyFields fields = SplitFields(reply, '&');
  std::string joined = fields[0];
  std::size_t separators = 0;
  for (char c : reply) separators += c == '&';
  for (std::size_t i = 1; i <= std::min<std::size_t>(separators, 9); ++i) joined += "&" + fields[i];
  if (joined != reply) std::abort();

  DispatchReply(world.ctx, reply);
  if (world.state.sessionToken != fields[0]) std::abort();
  return 0;
}
