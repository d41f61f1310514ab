#include "service/state_store_logger.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/code_page.h"
#include "platform/state_store_factory.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using std::chrono::milliseconds;
using testing::FakeClock;

class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest()
      : store_(OpenStateStore(dir_ / "state.db")),
        logger_(*store_, clock_, RegionalSettings{}, lastRequest_,
                [this](milliseconds d) { sleeps_.push_back(d); }) {
    clock_.Set(FakeClock::At(2026, 12, 7, 10, 15, 2));
    lastRequest_ = clock_.Now() - milliseconds(250);
  }

  testing::TempFolder dir_;
  FakeClock clock_;
  Clock::TimePoint lastRequest_;
  std::unique_ptr<EditableStateStore> store_;
  std::vector<milliseconds> sleeps_;
  StateStoreLogger logger_;
};

TEST_F(LoggerTest, ChannelLineAndGlobalLine) {
  logger_.Log("system", "Go.");
  EXPECT_EQ(store_->Read("log_system"), "10:15:02 Go.\r\n");
  EXPECT_EQ(store_->Read("log_global"), "10:15:02 [250] Go.\r\n");

  clock_.Set(FakeClock::At(2026, 12, 8, 9, 5, 7));  // the hour has no leading zero
  lastRequest_ = clock_.Now();
  logger_.Log("global", "End.");
  EXPECT_EQ(store_->Read("log_global"), "10:15:02 [250] Go.\r\n9:05:07 [0] End.\r\n");
  EXPECT_EQ(store_->Read("log_system"), "10:15:02 Go.\r\n");
  EXPECT_EQ(store_->List().size(), 2u);  // "global" has no channel value of its own
}

TEST_F(LoggerTest, MessagesAreTakenAsTheyAre) {
  logger_.Log("sql", "");
  logger_.Log("sql", "a\r\nb");
  EXPECT_EQ(store_->Read("log_sql"), "10:15:02 \r\n10:15:02 a\r\nb\r\n");
  const std::string cyrillic(AnsiText("Запись").view());
  logger_.Log("zapis", cyrillic);
  EXPECT_EQ(store_->Read("log_zapis"), "10:15:02 " + cyrillic + "\r\n");
}

TEST_F(LoggerTest, ElapsedMillisecondsAreAbsoluteAndTruncated) {
  lastRequest_ = clock_.Now() - std::chrono::microseconds(1999900);
  logger_.Log("global", "a");
  lastRequest_ = clock_.Now() + std::chrono::microseconds(3000700);  // a clock set back
  logger_.Log("global", "b");
  EXPECT_EQ(store_->Read("log_global"), "10:15:02 [1999] a\r\n10:15:02 [3000] b\r\n");
}

TEST(CutOldLog, KeepsAtMostTheLast100001Characters) {
  auto numbered = [](std::size_t n) {
    std::string s(n, '.');
    for (std::size_t i = 0; i < n; i += 7) s[i] = static_cast<char>('a' + i % 26);
    return s;
  };
  EXPECT_EQ(CutOldLog(""), "");
  for (std::size_t n : {1u, 100000u, 100001u}) EXPECT_EQ(CutOldLog(numbered(n)), numbered(n)) << n;
  const std::string s150 = numbered(150000);
  EXPECT_EQ(CutOldLog(s150), s150.substr(49999));  // characters 50000 to 150000, counted from 1
  EXPECT_EQ(CutOldLog(s150).size(), 100001u);
  const std::string s100002 = numbered(100002);
  EXPECT_EQ(CutOldLog(s100002), s100002.substr(1));
}

TEST_F(LoggerTest, LogCutsBothValuesBeforeAppending) {
  const std::string old150(150000, 'x');
  store_->Write("log_delete", old150);
  store_->Write("log_global", std::string(100001, 'y'));
  logger_.Log("delete", "m");
  EXPECT_EQ(store_->Read("log_delete"), std::string(100001, 'x') + "10:15:02 m\r\n");
  EXPECT_EQ(store_->Read("log_global"), std::string(100001, 'y') + "10:15:02 [250] m\r\n");
  const std::string first = "10:15:02 [250] m\r\n";
  logger_.Log("global", "n");  // the first line now also counts towards the cut
  EXPECT_EQ(store_->Read("log_global"),
            std::string(100001 - first.size(), 'y') + first + "10:15:02 [250] n\r\n");
}

TEST_F(LoggerTest, StoreFailurePassesToTheCallerBeforeTheGlobalLine) {
  store_->WriteTyped("log_login", "\x01", StateValueType::kBinary);
  EXPECT_THROW(logger_.Log("login", "m"), StateStoreError);
  EXPECT_EQ(store_->Read("log_global"), "");
}

TEST_F(LoggerTest, SetErrorRecordsAndPausesOnlyForPositiveCodes) {
  logger_.SetError(4, "");
  EXPECT_TRUE(store_->List().empty());
  EXPECT_TRUE(sleeps_.empty());

  const std::string message(AnsiText("Ошибка выполнения основного цикла").view());
  logger_.SetError(4, message);
  EXPECT_EQ(store_->Read("error"), "4");
  EXPECT_EQ(store_->Read("error_msg"), message);
  EXPECT_EQ(store_->Read("error_time"), "07.12.2026 10:15:02");
  EXPECT_EQ(sleeps_, std::vector<milliseconds>{milliseconds(1000)});

  clock_.Advance(milliseconds(61000));
  logger_.SetError(-7, "neg");
  logger_.SetError(0, "zero");
  EXPECT_EQ(store_->Read("error"), "0");
  EXPECT_EQ(store_->Read("error_msg"), "zero");
  EXPECT_EQ(store_->Read("error_time"), "07.12.2026 10:16:03");
  EXPECT_EQ(sleeps_.size(), 1u);
  logger_.SetError(-7, "neg");
  EXPECT_EQ(store_->Read("error"), "-7");
}

}  // namespace
}  // namespace vorel
