// Bookings and cancellations on an m2401 with a structural index (the statements then find the slot through
// the index) give the same answers and leave the same rows as on the same table without an index, and every
// tag stays true.
#include <gtest/gtest.h>

#include <algorithm>

#include "booking/booking_commands.h"
#include "clinic_fixture.h"
#include "dbf/cdx_build.h"
#include "dbf/cdx_check.h"
#include "dbf/table.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

using testing_support::SlotRow;

class IndexedBooking : public testing_support::ClinicFixture {
 protected:
  void SetUp() override {
    plainFolder_ = folder_.string() + "_plain";
    std::filesystem::remove_all(plainFolder_);
    std::filesystem::create_directories(plainFolder_);
    rows_ = testing_support::SpreadSlotRows();
    for (size_t i = 0; i < rows_.size(); i += 31) rows_[i].polis = "P" + std::to_string(i);
    for (const std::filesystem::path& f : {folder_, plainFolder_}) testing_support::WriteM2401(f, rows_);
    dbf::Table t = dbf::Table::Open(folder_, "m2401");
    const std::vector<dbf::TagSpec> tags = {{"slot", "DTOC(dat,1)+tim+str(kw,5)", "", false, ""},
                                            {"kl", "kl", "", false, ""},
                                            {"dat", "dat", "", false, ""},
                                            {"kw", "kw", "", false, ""},
                                            {"polis", "polis", "", false, "RUSSIAN"}};
    dbf::CreateStructuralIndex(t, tags, dbf::BasicKeyExpressionCompiler());
    testing_support::LoadNumberedPatients(cache_, 4);
    store_.values["record_cnt"] = "0";
  }
  void TearDown() override { std::filesystem::remove_all(plainFolder_); }

  // Runs one command on both tables; both must answer alike.
  void Both(const std::string& command, std::vector<std::pair<int, std::string>> values) {
    ReplyFields f;
    f[0] = "sess";
    f[1] = command;
    for (auto& [i, v] : values) f[static_cast<size_t>(i)] = v;
    auto run = [&](DatabaseContext& db) {
      BookingContext ctx{db, cache_, store_, scheduleAge_, busyFlag_};
      if (command == "zapis") return RunBookingCommand(ctx, f);
      if (command == "zapis2") return RunPolicyBookingCommand(ctx, f);
      if (command == "delrec") return RunCancellationCommand(ctx, f);
      return RunPolicyCancellationCommand(ctx, f);
    };
    const std::string indexed = run(db_);
    const std::string plain = run(plainDb_);
    EXPECT_EQ(indexed, plain) << command << " " << f[4] << " " << f[5] << " " << f[6];
    answers_.push_back(indexed);
  }

  std::filesystem::path plainFolder_;
  std::vector<SlotRow> rows_;
  PatientCache cache_;
  int32_t scheduleAge_ = 0;
  int32_t busyFlag_ = 0;
  std::vector<std::string> answers_;
  testing_support::RecordingLogger plainLog_;
  Connection plainAdo_;
  Query plainSql_{plainAdo_, clock_, regional_};
  DatabaseContext plainDb_{plainAdo_, plainSql_, plainLog_, clock_, regional_};
};

TEST_F(IndexedBooking, CommandsAnswerAndWriteAsWithoutTheIndex) {
  plainAdo_.SetConnectionString("Provider=VFPOLEDB;Data Source=" + plainFolder_.string() +
                                ";Mode=ReadWrite;Password=\"\";Collating Sequence=RUSSIAN");
  // Free, busy and missing slots; a second booking of the same patient in the block; the policy booking.
  Both("zapis", {{4, "1049"}, {5, "20261217"}, {6, "08:00"}, {7, "1"}, {8, "11"}});
  Both("zapis", {{4, "1070"}, {5, "20261220"}, {6, "08:00"}, {7, "1"}, {8, "11"}});
  Both("zapis", {{4, "1063"}, {5, "20261219"}, {6, "08:00"}, {7, "1"}, {8, "12"}});
  Both("zapis", {{4, "1999"}, {5, "20261210"}, {6, "08:00"}, {7, "1"}, {8, "12"}});
  Both("zapis", {{4, "1035"}, {5, "20261215"}, {6, "08:00"}, {7, "1"}, {8, "12"}});
  Both("zapis2", {{2, "Ivanov"}, {3, "777"}, {4, "1133"}, {5, "20261217"}, {6, "08:30"}, {7, "1"}, {8, "0"}});
  // Cancellations: the booked slots, a slot of another patient, a missing one.
  Both("delrec", {{4, "1049"}, {5, "20261217"}, {6, "08:00"}, {7, "11"}});
  Both("delrec", {{4, "1035"}, {5, "20261215"}, {6, "08:00"}, {7, "99"}});
  Both("delrec", {{4, "1035"}, {5, "20261215"}, {6, "08:00"}, {7, "12"}});
  Both("delrec2", {{2, "Ivanov"}, {3, "777"}, {4, "1133"}, {5, "20261217"}, {6, "08:30"}});
  Both("delrec", {{4, "1"}, {5, "20261213"}, {6, "08:00"}, {7, "13"}});
  EXPECT_GE(std::count(answers_.begin(), answers_.end(), "ok"), 4) << ::testing::PrintToString(answers_);
  EXPECT_NE(answers_[2], "ok");  // busy
  EXPECT_NE(answers_[3], "ok");  // missing

  EXPECT_EQ(testing_support::ReadM2401(folder_), testing_support::ReadM2401(plainFolder_));
  dbf::Table t = dbf::Table::Open(folder_, "m2401");
  const dbf::IndexCheckReport report = dbf::CheckTableIndex(t, dbf::BasicKeyExpressionCompiler());
  std::string problems;
  for (const auto& p : report.problems) problems += p + "\n";
  EXPECT_TRUE(report.ok()) << problems;
}

}  // namespace
}  // namespace vorel
