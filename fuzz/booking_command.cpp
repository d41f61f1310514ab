// Fuzzes the booking commands as the portal sends them, through the service's own dispatcher and handlers
// over a clinic's appointment grid: the input's first byte picks zapis, zapis2, delrec, delrec2, user,
// adm_user or adm_polis, the rest is the reply after the command's name. Whatever the fields hold, a command
// may change at most one record of m2401 and never its number of records: a crafted command must not reach
// rows it was not meant to.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exchange/dispatch_reply.h"
#include "fuzz_support.h"
#include "service/service_exchange.h"
#include "support/clinic_tables.h"

using namespace vorel;
using namespace vorel::fuzz;

namespace {

class MemoryStore final : public StateStore {
 public:
  std::string Read(std::string_view) override { return "0"; }
  void Write(std::string_view, std::string_view) override {}
};

struct World {
  ScratchFolder folder{"booking"};
  std::string grid;  // m2401 as each run starts
  size_t headerLength = 0, recordLength = 0;
  FolderDatabase db{folder.path()};
  MemoryStore store;
  SettingsList settings;
  ExchangeState state;
  OfflinePortal portal;
  std::atomic<int32_t> stopFlag{0};
  ServiceExchange exchange{ServiceExchangeParts{state,
                                                db.log,
                                                store,
                                                settings,
                                                portal,
                                                db.ado,
                                                db.sql,
                                                db.clock,
                                                db.regional,
                                                stopFlag,
                                                "127.0.0.1:9",
                                                "127.0.0.1:9",
                                                "",
                                                "",
                                                {},
                                                "",
                                                ""}};

  World() {
    testing_support::WriteM2401(folder.path(), testing_support::SpreadSlotRows());
    grid = ReadWhole(folder.path() / "m2401.dbf");
    {
      const dbf::Table t = dbf::Table::Open(folder.path(), "m2401");
      headerLength = t.layout().headerLength;
      recordLength = t.layout().recordLength;
    }
    settings.Set("path", folder.path().string());
    PatientCache& cache = exchange.patientCache();
    cache.BeginLoad();
    for (int32_t n = 1; n <= 9; ++n) {
      pac_rec& p = cache.PrepareSlot(n);
      p.kl = n <= 4 ? n : 15 + n;  // 1..4 and the grid's busy patients 20..24
      p.fiol = cache.Keep("petrov");
      p.npol = cache.Keep(std::to_string(100 + n));
      cache.CommitSlot(n);
    }
    cache.FinishLoad(9);
    cache.timeOfLastLoad = db.clock.Now();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World w;
  if (size == 0) return 0;
  static const char* const kCommands[] = {"zapis", "zapis2",   "delrec",   "delrec2",
                                          "user",  "adm_user", "adm_polis"};
  const std::string reply = std::string("s&") + kCommands[data[0] % 7] + "&" +
                            std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
  WriteWhole(w.folder.path() / "m2401.dbf", w.grid);
  DispatchReply(w.exchange.context(), reply);
  w.db.sql.Close();

  const std::string after = ReadWhole(w.folder.path() / "m2401.dbf");
  if (after.size() != w.grid.size()) std::abort();
  size_t changed = 0;
  for (size_t at = w.headerLength; at + w.recordLength <= after.size(); at += w.recordLength)
    changed += after.compare(at, w.recordLength, w.grid, at, w.recordLength) != 0;
  if (changed > 1) std::abort();
  return 0;
}
