// Every write of the crash scenarios stopped at every I/O point in turn: the process ended before the
// operation, a write torn in half before the end, the operation failing with EIO or ENOSPC. Afterwards the
// table, once opened for writing, is wholly as before or wholly as after the write, its index checks clean,
// the answer the portal was given is true of it, and it takes the same write again. A second program that
// writes between the stop and the reopen keeps its change. VOREL_CRASH_POINTS=all tries every point (make
// crash-test); otherwise a sample of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "crash/child_process.h"
#include "crash/crash_scenarios.h"
#include "dbf/byte_order.h"
#include "dbf/cdx_check.h"
#include "dbf/journal.h"
#include "dbf/table.h"
#include "platform/fault_injection.h"
#include "platform/program_location.h"
#include "support/temp_folder.h"

namespace vorel::crash {
namespace {

namespace fs = std::filesystem;

// Records, memo values and record count as stored, read without undoing anything.
struct Snapshot {
  std::vector<std::string> records;
  std::vector<std::string> memos;
  bool operator==(const Snapshot&) const = default;
};

dbf::TableOptions Raw() {
  dbf::TableOptions o;
  o.readOnly = true;
  o.journal = false;
  return o;
}

Snapshot Take(const fs::path& folder, const std::string& table) {
  dbf::Table t = dbf::Table::Open(folder, table, Raw());
  Snapshot s;
  dbf::TableScanner scan = t.Scan();
  dbf::RecordRef r;
  while (scan.Next(r)) {
    s.records.emplace_back(r.bytes);
    for (const dbf::Field& f : t.fields())
      if (f.isMemo()) s.memos.push_back(t.ReadMemo(f, r.bytes));
  }
  return s;
}

std::string IndexProblems(const fs::path& folder, const std::string& table) {
  dbf::Table t = dbf::Table::Open(folder, table, Raw());
  std::string all;
  for (const std::string& p : dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler()).problems)
    all += p + "\n";
  return all;
}

bool AllPoints() {
  const char* all = std::getenv("VOREL_CRASH_POINTS");
  return all && std::string(all) == "all";
}

// The points tried of 1..n: all of them, or the first and last few and every fourth between. Under Wine,
// where a process takes long to start, a handful.
std::vector<uint64_t> Points(uint64_t n) {
  std::vector<uint64_t> points;
  for (uint64_t k = 1; k <= n; ++k) {
#ifdef _WIN32
    const bool sampled = k == 1 || k == n / 2 || k == n;
#else
    const bool sampled = k <= 3 || k + 3 > n || k % 4 == 0;
#endif
    if (AllPoints() || sampled) points.push_back(k);
  }
  return points;
}

std::string ChildProgram() {
#ifdef _WIN32
  return ProgramFolder() + "crash_child.exe";
#else
  return ProgramFolder() + "crash_child";
#endif
}

// Runs the scenario (or "open") in a child process under the plan; the answer, or nullopt when the child
// was ended part-way.
std::optional<std::string> RunChild(const fs::path& folder, const std::string& what, const std::string& table,
                                    const std::string& plan) {
  const fs::path answer = folder.parent_path() / (folder.filename().string() + ".answer");
  fs::remove(answer);
  const int status = RunProgram(ChildProgram(), {folder.string(), what, table, plan, answer.string()});
#ifdef _WIN32
  constexpr int kEnded = 137;  // the exit code of the seam's TerminateProcess
#else
  constexpr int kEnded = -1;  // ended by a signal
#endif
  if (status == kEnded) return std::nullopt;
  EXPECT_EQ(status, 0) << ChildProgram() << " " << what << " " << plan;
  std::ifstream in(answer, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One scenario: its tables as before and after the write, the answer and the number of I/O operations of a
// run that nothing stops.
class ScenarioRuns : public ::testing::Test {
 protected:
  void Load(const std::string& name) {
    scenario_ = FindScenario(name);
    ASSERT_TRUE(scenario_);
    fs::create_directories(base_);
    scenario_->setUp(base_);
    old_ = Take(base_, scenario_->table);
    const fs::path reference = Copy("reference");
    SetFaultPlan({});
    answer_ = scenario_->run(reference);
    operations_ = FileOperationCount();
    new_ = Take(reference, scenario_->table);
    ASSERT_NE(old_, new_) << "the scenario must write";
    ASSERT_GT(operations_, 3u);
    RecordProperty("io_points", static_cast<int>(operations_));
    ASSERT_EQ(IndexProblems(reference, scenario_->table), "");
    if (scenario_->name == "insert-split") {
      ASSERT_GT(fs::file_size(reference / "m2401.cdx"), fs::file_size(base_ / "m2401.cdx")) << "no split";
    }
    if (scenario_->name == "memo-append") {
      ASSERT_GT(fs::file_size(reference / "notes.fpt"), fs::file_size(base_ / "notes.fpt"));
    }
  }

  fs::path Copy(const std::string& name, const fs::path& from = {}) {
    const fs::path to = work_.path() / name;
    fs::remove_all(to);
    fs::copy(from.empty() ? base_ : from, to, fs::copy_options::recursive);
    return to;
  }

  // Opens the table for writing (which undoes an interrupted write) and checks it whole, true to `answer`
  // (nullopt: none was given) and usable: a table found as before takes the write again.
  void ExpectWholeAndTrue(const fs::path& folder, const std::optional<std::string>& answer,
                          const std::string& what) {
    SCOPED_TRACE(what);
    {
      const dbf::Table t = dbf::Table::Open(folder, scenario_->table);
      EXPECT_FALSE(t.recoveryPending());
    }
    EXPECT_FALSE(fs::exists(dbf::JournalPathFor(folder / (scenario_->table + ".dbf"))));
    const Snapshot now = Take(folder, scenario_->table);
    const bool before = now == old_, after = now == new_;
    EXPECT_TRUE(before || after) << "the table is neither as before nor as after the write";
    if (answer) {
      EXPECT_EQ(*answer == answer_, after) << "answer " << *answer << " is not true of the table";
    }
    EXPECT_EQ(IndexProblems(folder, scenario_->table), "");
    if (!before) return;
    EXPECT_EQ(scenario_->run(folder), answer_) << "the write again";
    EXPECT_TRUE(Take(folder, scenario_->table) == new_);
  }

  testing::TempFolder work_{"vorel_crash"};
  fs::path base_ = work_.path() / "base";
  const Scenario* scenario_ = nullptr;
  Snapshot old_, new_;
  std::string answer_;
  uint64_t operations_ = 0;
  // A stop here leaves everything written and only the journal's removal (and its flush) to do.
  uint64_t removal() const { return operations_ - 1; }
};

class CrashAtEveryPoint : public ScenarioRuns, public ::testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override { Load(GetParam()); }
};

TEST_P(CrashAtEveryPoint, AProcessEndedAtAnyPointLeavesTheWriteWholeOrUndone) {
  for (const char* kind : {"kill", "tear"}) {
    for (uint64_t k : Points(operations_)) {
      const std::string plan = std::string(kind) + "@" + std::to_string(k);
      const fs::path folder = Copy("run");
      EXPECT_EQ(RunChild(folder, scenario_->name, scenario_->table, plan), std::nullopt)
          << plan << " did not stop it";
      ExpectWholeAndTrue(folder, std::nullopt, plan);
    }
  }
}

TEST_P(CrashAtEveryPoint, AFailedWriteOrFlushChangesNothingAndSaysSo) {
  for (FaultKind kind : {FaultKind::kIoError, FaultKind::kNoSpace}) {
    for (uint64_t k = 1; k <= operations_; ++k) {
      const std::string what =
          std::string(kind == FaultKind::kIoError ? "eio@" : "enospc@") + std::to_string(k);
      const fs::path folder = Copy("run");
      SetFaultPlan({kind, k});
      const std::string answer = scenario_->run(folder);
      SetFaultPlan({});
      // Undone before the error came back: nothing half-written even before the table is opened again.
      EXPECT_FALSE(fs::exists(dbf::JournalPathFor(folder / (scenario_->table + ".dbf")))) << what;
      const Snapshot now = Take(folder, scenario_->table);
      EXPECT_TRUE(now == old_ || now == new_) << what;
      if (answer.starts_with("error: ")) {
        EXPECT_NE(answer.find("nothing was written"), std::string::npos) << answer;
      }
      ExpectWholeAndTrue(folder, answer, what);
    }
  }
}

// A process ended while it undid an interrupted write leaves the undoing to the next opener.
TEST_P(CrashAtEveryPoint, AProcessEndedWhileUndoingLeavesTheRestToTheNext) {
  const fs::path stopped = Copy("stopped");
  ASSERT_EQ(RunChild(stopped, scenario_->name, scenario_->table, "kill@" + std::to_string(removal())),
            std::nullopt);
  const fs::path probe = Copy("probe", stopped);
  SetFaultPlan({});
  { const dbf::Table t = dbf::Table::Open(probe, scenario_->table); }
  const uint64_t undoing = FileOperationCount();
  ASSERT_GT(undoing, 0u);
  RecordProperty("undo_points", static_cast<int>(undoing));
  for (uint64_t k : Points(undoing)) {
    const fs::path folder = Copy("run", stopped);
    const std::string plan = "kill@" + std::to_string(k);
    EXPECT_EQ(RunChild(folder, "open", scenario_->table, plan), std::nullopt) << plan;
    ExpectWholeAndTrue(folder, std::nullopt, "undoing, " + plan);
  }
}

// What another program (a process that knows nothing of the journal) does to the table between the stop
// and the reopen. The records it changed or moved stay as it left them; all the others are as before the
// write or all as after it; the index checks clean.
struct ForeignWrite {
  enum class Undo { kAny, kIndexRebuilt, kEntriesFollowed, kAppendedKept };
  const char* scenario;
  bool stopAtEveryPoint;   // false: only once everything is written and only the journal's removal is left
  const char* statement;   // "PACK": the other program packs the table instead
  Undo undo = Undo::kAny;  // how the undoing has to go about it
};

class WriteBetweenStopAndReopen : public ScenarioRuns, public ::testing::WithParamInterface<ForeignWrite> {};

TEST_P(WriteBetweenStopAndReopen, KeepsTheOtherProgramsChange) {
  const ForeignWrite& c = GetParam();
  Load(c.scenario);
  const std::vector<uint64_t> points = c.stopAtEveryPoint ? Points(operations_) : std::vector{removal()};
  for (uint64_t k : points) {
    const std::string plan = "kill@" + std::to_string(k);
    SCOPED_TRACE(plan);
    const fs::path folder = Copy("run");
    ASSERT_EQ(RunChild(folder, scenario_->name, scenario_->table, plan), std::nullopt);
    const Snapshot stopped = Take(folder, scenario_->table);
    const bool pack = std::string(c.statement) == "PACK";
    EXPECT_EQ(RunChild(folder, pack ? "pack" : "sql", pack ? scenario_->table : c.statement, "none"),
              pack ? "packed" : "1");
    const Snapshot theirs = Take(folder, scenario_->table);
    {
      const dbf::Table t = dbf::Table::Open(folder, scenario_->table);
      const dbf::UndoReport r = t.recovery().value_or(dbf::UndoReport{});
      if (c.undo == ForeignWrite::Undo::kIndexRebuilt) {
        EXPECT_TRUE(r.indexRebuilt);
      } else if (c.undo == ForeignWrite::Undo::kEntriesFollowed) {
        EXPECT_TRUE(r.entriesReconciled > 0 && !r.indexRebuilt);
      } else if (c.undo == ForeignWrite::Undo::kAppendedKept) {
        EXPECT_EQ(r.recordsKept.size(), 1u);
      }
    }
    const Snapshot now = Take(folder, scenario_->table);
    ASSERT_EQ(now.records.size(), theirs.records.size());
    EXPECT_EQ(now.memos, theirs.memos);
    // Records the other program wrote are its own; of the rest, all are old or all are new.
    bool asBefore = true, asAfter = true;
    for (size_t i = 0; i < now.records.size(); ++i) {
      const bool changedByThem = i >= stopped.records.size() || theirs.records[i] != stopped.records[i];
      if (changedByThem) {
        EXPECT_EQ(now.records[i], theirs.records[i]) << "record " << i + 1 << " the other program wrote";
        continue;
      }
      asBefore = asBefore && i < old_.records.size() && now.records[i] == old_.records[i];
      asAfter = asAfter && i < new_.records.size() && now.records[i] == new_.records[i];
    }
    EXPECT_TRUE(asBefore || asAfter);
    EXPECT_EQ(IndexProblems(folder, scenario_->table), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    OtherPrograms, WriteBetweenStopAndReopen,
    ::testing::Values(
        // It changes the booked record's indexed key: the index moved on, so its tags are built anew.
        ForeignWrite{"zapis-indexed", false, "UPDATE m2401 SET kl=55 WHERE kw=1028 AND tim='08:00'",
                     ForeignWrite::Undo::kIndexRebuilt},
        // It changes a field of the booked record that no tag holds: the index pages go back and the
        // record's entries follow the record as that program left it.
        ForeignWrite{"zapis-indexed", false, "UPDATE m2401 SET phone='VFP' WHERE kw=1028 AND tim='08:00'",
                     ForeignWrite::Undo::kEntriesFollowed},
        ForeignWrite{"delrec-indexed", false, "UPDATE m2401 SET phone='Desk' WHERE kw=1007 AND tim='08:00'",
                     ForeignWrite::Undo::kEntriesFollowed},
        // It appends after the appended record: that record stays (the other program counts it).
        ForeignWrite{"insert-split", false,
                     "INSERT INTO m2401 (kw, dat, tim, kl) VALUES (1151, {^2026-12-14}, '09:00', 78)",
                     ForeignWrite::Undo::kAppendedKept},
        ForeignWrite{"memo-append", false, "INSERT INTO notes (id, note) VALUES (100, 'the desk note')",
                     ForeignWrite::Undo::kAppendedKept},
        // It changes another record, wherever the write stopped.
        ForeignWrite{"zapis-indexed", true, "UPDATE m2401 SET kl=56 WHERE kw=1049 AND tim='08:00'"},
        ForeignWrite{"zapis", true, "UPDATE m2401 SET kl=56 WHERE kw=1049 AND tim='08:00'"},
        // It packs the table: every record moves up one place, the index is built anew.
        ForeignWrite{"zapis-indexed", true, "PACK"}, ForeignWrite{"delrec", false, "PACK"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// An opener that may not write sees the interrupted write and leaves it; the service's reading opener
// undoes it.
TEST_F(ScenarioRuns, AReadOnlyOpenReportsTheUndoPending) {
  Load("zapis-indexed");
  const fs::path folder = Copy("run");
  ASSERT_EQ(RunChild(folder, scenario_->name, scenario_->table, "kill@" + std::to_string(removal())),
            std::nullopt);
  dbf::TableOptions reading;
  reading.readOnly = true;
  EXPECT_TRUE(dbf::Table::Open(folder, "m2401", reading).recoveryPending());
  EXPECT_TRUE(Take(folder, "m2401") == new_);
  // The index's change counter (big-endian at byte 8) goes on growing when the index is put back.
  auto counter = [&] {
    const std::string cdx = testing::TempFolder::ReadFile(folder / "m2401.cdx");
    return dbf::LoadBe32(cdx.data() + 8);
  };
  const uint32_t counterAfterTheWrite = counter();
  reading.undoWhenReading = true;
  const dbf::Table t = dbf::Table::Open(folder, "m2401", reading);
  EXPECT_FALSE(t.recoveryPending());
  ASSERT_TRUE(t.recovery());
  EXPECT_GT(t.recovery()->regionsRestored, 0u);
  EXPECT_TRUE(t.recovery()->recordsLeft.empty());
  EXPECT_FALSE(t.recovery()->indexRebuilt);
  EXPECT_TRUE(Take(folder, "m2401") == old_);
  EXPECT_GT(counter(), counterAfterTheWrite);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CrashAtEveryPoint, ::testing::ValuesIn([] {
                           std::vector<std::string> names;
                           for (const Scenario& s : Scenarios()) names.push_back(s.name);
                           return names;
                         }()),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace vorel::crash
