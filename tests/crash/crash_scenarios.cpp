#include "crash/crash_scenarios.h"

#include <fstream>

#include "booking/booking_commands.h"
#include "booking/test_doubles.h"
#include "database/connection.h"
#include "database/database_context.h"
#include "database/query.h"
#include "database/run_query.h"
#include "dbf/byte_order.h"
#include "dbf/cdx_build.h"
#include "dbf/table.h"
#include "dbf/table_index.h"
#include "platform/regional.h"
#include "sql/executor.h"
#include "support/clinic_tables.h"
#include "support/temp_folder.h"

namespace vorel::crash {

namespace {

using testing_support::SlotRow;

// The booked slots the cancellations free and the free slots the bookings take (see SlotRows).
constexpr uint32_t kBookedByPatient = 1, kBookedByPolicy = 2;

std::vector<SlotRow> SlotRows() {
  std::vector<SlotRow> rows = testing_support::SpreadSlotRows();
  rows[kBookedByPatient].kl = 12;
  rows[kBookedByPatient].fiol = "Patient2";
  rows[kBookedByPolicy].polis = "777";
  rows[kBookedByPolicy].fiol = "*Ivanov";
  return rows;
}

void SlotTable(const std::filesystem::path& folder, bool indexed) {
  testing_support::WriteM2401(folder, SlotRows());
  if (!indexed) return;
  dbf::Table t = dbf::Table::Open(folder, "m2401");
  const std::vector<dbf::TagSpec> tags = {{"slot", "DTOC(dat,1)+tim+str(kw,5)", "", false, ""},
                                          {"kl", "kl", "", false, ""},
                                          {"dat", "dat", "", false, ""},
                                          {"polis", "polis", "", false, "RUSSIAN"}};
  dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
}

void NotesTable(const std::filesystem::path& folder) {
  dbf::TableOptions unjournaled;
  unjournaled.journal = false;
  const std::vector<dbf::FieldSpec> fields = {{"id", dbf::FieldType::kNumeric, 6},
                                              {"note", dbf::FieldType::kMemo, 4}};
  {
    dbf::Table t = dbf::Table::Create(folder, "notes", fields, {}, unjournaled);
    for (int i = 1; i <= 20; ++i)
      t.AppendRecord([&](std::span<char> r) {
        dbf::EncodeInteger(t.GetField("id"), i, r);
        t.WriteMemo(t.GetField("note"), "note " + std::to_string(i), r);
      });
  }
  dbf::Table t = dbf::Table::Open(folder, "notes");
  const std::vector<dbf::TagSpec> tags = {{"id", "id", "", false, ""}};
  dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
}

// The service's database objects over one folder, a patient cache with patients 11 and 12, a clock that
// stands still (so that every run writes the same bytes).
struct Clinic {
  explicit Clinic(const std::filesystem::path& folder) {
    ado.SetConnectionString("Provider=VFPOLEDB;Data Source=" + folder.string() +
                            ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN");
    testing_support::LoadNumberedPatients(cache, 2);
    store.values["record_cnt"] = "0";
  }
  std::string Command(std::vector<std::pair<int, std::string>> values,
                      std::string (*handler)(BookingContext&, const ReplyFields&)) {
    ReplyFields f;
    f[0] = "sess";
    for (auto& [i, v] : values) f[static_cast<size_t>(i)] = v;
    BookingContext ctx{db, cache, store, scheduleAge, busyFlag};
    return handler(ctx, f);
  }
  std::string Statement(const std::string& text) {
    try {
      ado.Connect();
      const int64_t rows = ExecuteStatement(db, text);
      ado.Disconnect();
      return std::to_string(rows);
    } catch (const std::exception& e) {
      ado.Disconnect();
      return std::string("error: ") + e.what();
    }
  }

  testing_support::RecordingLogger log;
  testing_support::ManualClock clock;
  RegionalSettings regional;
  testing_support::MemoryStateStore store;
  Connection ado;
  Query sql{ado, clock, regional};
  DatabaseContext db{ado, sql, log, clock, regional};
  PatientCache cache;
  int32_t scheduleAge = 0;
  int32_t busyFlag = 0;
};

std::string Zapis(const std::filesystem::path& folder) {
  return Clinic(folder).Command({{4, "1028"}, {5, "20261214"}, {6, "08:00"}, {7, "1"}, {8, "11"}},
                                &RunBookingCommand);
}
std::string Zapis2(const std::filesystem::path& folder) {
  return Clinic(folder).Command(
      {{2, "Petrov"}, {3, "555"}, {4, "1035"}, {5, "20261215"}, {6, "08:00"}, {7, "1"}, {8, "0"}},
      &RunPolicyBookingCommand);
}
std::string Delrec(const std::filesystem::path& folder) {
  return Clinic(folder).Command({{4, "1007"}, {5, "20261211"}, {6, "08:00"}, {7, "12"}},
                                &RunCancellationCommand);
}
std::string Delrec2(const std::filesystem::path& folder) {
  return Clinic(folder).Command({{2, "Ivanov"}, {3, "777"}, {4, "1014"}, {5, "20261212"}, {6, "08:00"}},
                                &RunPolicyCancellationCommand);
}

std::vector<Scenario> MakeScenarios() {
  std::vector<Scenario> all;
  const std::pair<const char*, std::string (*)(const std::filesystem::path&)> bookings[] = {
      {"zapis", &Zapis}, {"zapis2", &Zapis2}, {"delrec", &Delrec}, {"delrec2", &Delrec2}};
  for (bool indexed : {false, true})
    for (const auto& [name, run] : bookings)
      all.push_back({std::string(name) + (indexed ? "-indexed" : ""), "m2401",
                     [indexed](const std::filesystem::path& f) { SlotTable(f, indexed); }, run});
  all.push_back(
      {"insert-split", "m2401", [](const std::filesystem::path& f) { SlotTable(f, true); },
       [](const std::filesystem::path& f) {
         return Clinic(f).Statement(
             "INSERT INTO m2401 (kw, dat, tim, kl, polis, fiol) VALUES (1150, {^2026-12-14}, '08:30', 77, "
             "'901', 'Sidorov')");
       }});
  all.push_back({"memo-append", "notes", &NotesTable, [](const std::filesystem::path& f) {
                   return Clinic(f).Statement("INSERT INTO notes (id, note) VALUES (99, '" +
                                              std::string(700, 'm') + "')");
                 }});
  return all;
}

}  // namespace

std::string WriteAsAnotherProgram(const std::filesystem::path& folder, const std::string& statement) {
  sql::ExecutionOptions other;
  other.folder = folder;
  other.journal = false;
  return std::to_string(sql::RunStatement(statement, other).rowsAffected);
}

std::string PackAsAnotherProgram(const std::filesystem::path& folder, const std::string& table) {
  dbf::TableOptions unjournaled;
  unjournaled.journal = false;
  const std::filesystem::path path = dbf::Table::Open(folder, table, unjournaled).path();
  std::string bytes = testing::TempFolder::ReadFile(path);
  const uint16_t header = dbf::LoadLe16(&bytes[8]), length = dbf::LoadLe16(&bytes[10]);
  dbf::StoreLe32(&bytes[4], dbf::LoadLe32(&bytes[4]) - 1);
  bytes.erase(header, length);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  dbf::Table t = dbf::Table::Open(folder, table, unjournaled);
  if (!t.layout().hasStructuralIndex()) return "packed";
  dbf::TableIndex index(t.path(), t.name(), t.layout(), dbf::BasicKeyExpressionCompiler());
  dbf::HeldLocks locks;
  index.Lock(locks, {});
  index.Rebuild([&](const std::function<void(uint32_t, std::string_view)>& visit) {
    dbf::TableScanner scan = t.Scan();
    dbf::RecordRef r;
    while (scan.Next(r)) visit(r.recno, r.bytes);
  });
  return "packed";
}

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> all = MakeScenarios();
  return all;
}

const Scenario* FindScenario(std::string_view name) {
  for (const Scenario& s : Scenarios())
    if (s.name == name) return &s;
  return nullptr;
}

}  // namespace vorel::crash
