#include <gtest/gtest.h>
#include <cstdio>

#include <fstream>
#include <functional>

#include "platform/audit_store.h"
#include "platform/state_store_factory.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

AuditEntry Entry(int64_t at, std::string answer) {
  AuditEntry e;
  e.unixMillis = at;
  e.localTime = "20261215 10:00:00";
  e.session = "t1";
  e.command = "zapis";
  e.line = "t1&zapis&&&1203&20261215&11:30&&555";
  e.answer = std::move(answer);
  e.log = {"nom busy - kl:7 fiol:\\x\tA", "status: ok"};
  e.kw = "1203";
  e.date = "20261215";
  e.time = "11:30";
  e.patient = "555";
  e.recordsChanged = 2;
  // Texts with the codec's own separators and escapes, and a Cyrillic byte, survive.
  e.records = {{"m2401", 1, false, {{"KL", "0", "555"}, {"FIOL", "", "\xcf\xe5\xf2\xf0\xee\xe2\\n\r\n"}}},
               {"m2401", 9, true, {}}};
  return e;
}

struct StoreKind {
  const char* name;
  std::function<std::unique_ptr<AuditStore>(const std::string& folder, bool create)> open;
};

const StoreKind kKinds[] = {
    {"file",
     [](const std::string& folder, bool create) { return OpenAuditFile(folder + "/audit.log", create); }},
#ifndef _WIN32
    {"sqlite", [](const std::string& folder,
                  bool create) { return OpenSqliteAuditStore(folder + "/state.db", create); }},
#endif
};

// Entries come back whole and newest first after the store is opened again (a restart), and pruning
// removes exactly those older than its moment.
TEST(AuditStore, EntriesSurviveReopeningAndPruningKeepsTheRecentOnes) {
  for (const StoreKind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    testing::TempFolder dir("vorel_audit");
    EXPECT_THROW(kind.open(dir.path().string(), false), AuditStoreError);
    {
      auto store = kind.open(dir.path().string(), true);
      for (int64_t at : {1000, 2000, 3000}) store->Append(Entry(at, "ok" + std::to_string(at)));
    }
    auto reader = kind.open(dir.path().string(), false);
    const auto entries = reader->Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], Entry(3000, "ok3000"));
    EXPECT_EQ(entries[2], Entry(1000, "ok1000"));

    auto writer = kind.open(dir.path().string(), true);
    EXPECT_EQ(writer->PruneBefore(2000), 1u);
    writer->Append(Entry(4000, "late"));
    const auto kept = reader->Entries();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].answer, "late");
    EXPECT_EQ(kept[2].unixMillis, 2000);
  }
}

// A line that a crash cut short is dropped when the writer opens the file again, and the next entry is
// read whole.
TEST(AuditStore, FileDropsALineCutShortByACrash) {
  testing::TempFolder dir("vorel_audit");
  const std::string path = dir / "audit.log";
  OpenAuditFile(path)->Append(Entry(1000, "first"));
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    const std::string torn = EncodeAuditEntry(Entry(2000, "torn"));
    out << torn.substr(0, torn.size() / 2);
  }
  OpenAuditFile(path)->Append(Entry(3000, "third"));
  const auto entries = OpenAuditFile(path, false)->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].answer, "third");
  EXPECT_EQ(entries[1].answer, "first");
}

#ifndef _WIN32
// The service has both open on one file in one process, while operator commands open the store from
// others: opening the trail must keep the service's locks on the file, so that an operator's connection
// does not take itself for the first and reset the shared memory the service's connections use.
TEST(AuditStore, SqliteTrailOpensBesideTheStateStoreOfTheSameFile) {
  testing::TempFolder dir("vorel_audit");
  const std::string path = dir / "state.db";
  auto state = OpenStateStore(path);
  state->Write("path", "/srv/clinic");
  auto trail = OpenSqliteAuditStore(path);
  // What an operator command reads of the store.
  auto readElsewhere = [&](const std::string& name) {
    const std::string command =
        "VOREL_STATE='" + path + "' '" VOREL_BUILD_DIR "/vorel_service' state get " + name + " 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[256];
      while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
      pclose(pipe);
    }
    return out;
  };
  EXPECT_EQ(readElsewhere("path"), "/srv/clinic\n");
  for (int i = 0; i < 3; ++i) {
    trail->Append(Entry(i, "ok"));
    state->Write("log_zapis", std::to_string(i));
    EXPECT_EQ(readElsewhere("log_zapis"), std::to_string(i) + "\n");
  }
  EXPECT_EQ(OpenSqliteAuditStore(path, false)->Entries().size(), 3u);
}
#endif

TEST(AuditStore, DecodeRefusesWhatIsNotAnEntry) {
  const std::string good = EncodeAuditEntry(Entry(1, "ok"));
  for (const std::string& bad : {std::string(), std::string("A1\t1"), good.substr(0, good.size() - 3) + "\\",
                                 "B1" + good.substr(2), good + "\tm2401\tx\t0"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(DecodeAuditEntry(bad).has_value());
  }
  EXPECT_TRUE(DecodeAuditEntry(good).has_value());
}

}  // namespace
}  // namespace vorel
