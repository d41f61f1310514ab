#include "service/service_module.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <vector>

#include "platform/code_page.h"
#include "platform/state_store_factory.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using std::chrono::milliseconds;
using testing::FakeClock;

const std::string kNotFound(AnsiText("Не обнаружено").view());

// Passes every call to a real store and notes the names written, in order.
class RecordingStore final : public StateStore {
 public:
  explicit RecordingStore(std::unique_ptr<StateStore> inner, std::vector<std::string>& writes)
      : inner_(std::move(inner)), writes_(writes) {}
  std::string Read(std::string_view name) override { return inner_->Read(name); }
  void Write(std::string_view name, std::string_view value) override {
    writes_.emplace_back(name);
    inner_->Write(name, value);
  }

 private:
  std::unique_ptr<StateStore> inner_;
  std::vector<std::string>& writes_;
};

class ServiceModuleTest : public ::testing::Test {
 protected:
  ServiceModuleTest() : store_(OpenStateStore(dir_ / "state.db")) {
    clock_.Set(FakeClock::At(2026, 12, 7, 22, 38, 35));
  }

  std::unique_ptr<TVorelService> MakeService(StateStoreOptions options = {}) {
    ServiceEnvironment env;
    env.openStateStore = [this, options]() -> std::unique_ptr<StateStore> {
      return std::make_unique<RecordingStore>(OpenStateStore(dir_ / "state.db", options), writes_);
    };
    env.clock = &clock_;
    // A Cyrillic program folder, as the file system names it (UTF-8).
    env.programFolder = [] { return std::string("/opt/ворел/"); };
    env.sleep = [this](milliseconds d) { sleeps_.push_back(d); };
    return std::make_unique<TVorelService>(loop_, std::move(env));
  }

  std::map<std::string, std::string> Values() {
    std::map<std::string, std::string> values;
    for (const auto& v : store_->List()) values[v.name] = v.bytes;
    return values;
  }

  testing::TempFolder dir_;
  std::unique_ptr<EditableStateStore> store_;
  FakeClock clock_;
  MessageLoop loop_;
  std::vector<std::string> writes_;
  std::vector<milliseconds> sleeps_;
};

TEST_F(ServiceModuleTest, StartWritesTheStartValuesInOrderAndLeavesTheRest) {
  // The previous run's values, every one set to something the start must replace or keep.
  const std::map<std::string, std::string> previous = {{"version", "619"},
                                                       {"service_start", "old"},
                                                       {"service_stop", "01.12.2026 8:00:00"},
                                                       {"service_path", "old"},
                                                       {"critical_error", "old"},
                                                       {"error", "4"},
                                                       {"error_msg", "old"},
                                                       {"error_time", "old"},
                                                       {"reload_spec", "old"},
                                                       {"reload_rasp", "old"},
                                                       {"record_sysf", "old"},
                                                       {"record_cnt", "7"},
                                                       {"record_time", "old"},
                                                       {"query_in", "old"},
                                                       {"query_out", "old"},
                                                       {"query_time", "old"},
                                                       {"log_global", "old"},
                                                       {"log_system", "sys"},
                                                       {"log_sql", "sql"},
                                                       {"log_login", "login"},
                                                       {"log_delete", "del"},
                                                       {"log_zapis", "zap"},
                                                       {"user_cnt", "12"},
                                                       {"reload_user", "05.12.2026 9:00:00"},
                                                       {"path", "/data/clinic"},
                                                       {"id", "77"},
                                                       {"pass", "secret"},
                                                       {"server_url", "http://example.test/s.php"},
                                                       {"proxy", "proxy.test"},
                                                       {"proxylogin", "u"},
                                                       {"proxypass", "p"},
                                                       {"proxyport", "3128"}};
  for (const auto& [name, value] : previous) store_->Write(name, value);

  auto service = MakeService();
  bool started = true;
  service->ServiceStart(started);
  EXPECT_TRUE(started);
  EXPECT_TRUE(service->StartFinished());

  const std::vector<std::string> order = {"version",     "service_start", "service_path", "critical_error",
                                          "error",       "error_time",    "error_msg",    "reload_spec",
                                          "reload_rasp", "record_sysf",   "record_cnt",   "record_time",
                                          "query_in",    "query_out",     "query_time",   "log_global"};
  EXPECT_EQ(writes_, order);

  std::map<std::string, std::string> expected = previous;
  expected["version"] = "620";
  expected["service_start"] = "07.12.2026 22:38:35";
  expected["service_path"] = Utf8ToAnsi("/opt/ворел/");  // text of the store
  expected["critical_error"] = kNotFound;
  expected["error"] = "";
  expected["error_msg"] = kNotFound;
  for (const char* name : {"error_time", "reload_spec", "reload_rasp", "record_sysf", "record_time",
                           "query_in", "query_out", "query_time", "log_global"}) {
    expected[name] = "";
  }
  expected["record_cnt"] = "0";
  EXPECT_EQ(Values(), expected);

  EXPECT_EQ(service->settings.Get("path"), "/data/clinic");
  EXPECT_EQ(service->settings.Get("id"), "77");
  EXPECT_EQ(service->settings.Get("pass"), "secret");
  EXPECT_EQ(service->settings.Get("proxy"), "");  // the proxy values come at the main loop's entry
  EXPECT_EQ(service->settings.size(), 3u);
  EXPECT_EQ(service->exchange.serverAddressOverride, "http://example.test/s.php");
}

TEST_F(ServiceModuleTest, FirstStartOnACleanMachine) {
  auto service = MakeService();
  service->stopFlag = 1;
  service->exchange.pendingAnswer = "left over";
  bool started = true;
  service->ServiceStart(started);

  EXPECT_EQ(service->stopFlag.load(), 0);
  EXPECT_EQ(service->settings.size(), 3u);  // the three names are there, empty
  EXPECT_EQ(service->settings.Get("path"), "");
  EXPECT_EQ(service->settings.Get("pass"), "");
  EXPECT_EQ(service->exchange.serverAddressOverride, "");
  EXPECT_EQ(service->exchange.pendingAnswer, "pong");
  EXPECT_EQ(service->exchange.timeOfLastRequest, clock_.Now());
  EXPECT_EQ(Values().size(), 16u);

  // Elapsed milliseconds of "log_global" count from the start itself.
  clock_.Advance(milliseconds(1500));
  service->Log("system", "Go.");
  EXPECT_EQ(store_->Read("log_global"), "22:38:36 [1500] Go.\r\n");
}

TEST_F(ServiceModuleTest, EmptyServerUrlKeepsTheBuiltInAddress) {
  store_->Write("server_url", "");
  auto service = MakeService();
  bool started = true;
  service->ServiceStart(started);
  EXPECT_EQ(service->exchange.serverAddressOverride, "");
}

TEST_F(ServiceModuleTest, ASettingOfAnotherTypeFailsTheStart) {
  store_->WriteTyped("id", "\x01\x00\x00\x00", StateValueType::kBinary);
  auto service = MakeService();
  bool started = true;
  try {
    service->ServiceStart(started);
    FAIL() << "the start went through";
  } catch (const StateStoreError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'id'");
  }
  EXPECT_FALSE(service->StartFinished());
}

TEST_F(ServiceModuleTest, AStoreThatCannotBeWrittenFailsTheStart) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "state.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  auto service = MakeService({milliseconds(20)});
  bool started = true;
  try {
    service->ServiceStart(started);
    FAIL() << "the start went through";
  } catch (const StateStoreError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'version'");
  }
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_FALSE(service->StartFinished());
  EXPECT_TRUE(Values().empty());

  ServiceEnvironment env;
  env.openStateStore = [this] { return OpenStateStore(dir_ / "state.db/inside"); };
  TVorelService unopenable(loop_, std::move(env));
  EXPECT_THROW(unopenable.ServiceStart(started), StateStoreError);
}

TEST_F(ServiceModuleTest, StopRaisesTheFlagAndWritesTheStopTime) {
  auto service = MakeService();
  bool started = true;
  service->ServiceStart(started);
  writes_.clear();
  clock_.Advance(milliseconds(3600 * 1000));
  bool stopped = false;
  service->ServiceStop(stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(service->stopFlag.load(), 1);
  EXPECT_EQ(writes_, std::vector<std::string>{"service_stop"});
  EXPECT_EQ(store_->Read("service_stop"), "07.12.2026 23:38:35");
}

TEST_F(ServiceModuleTest, Timer1RunsFromCreationAndItsFirstTickWaitsForTheStart) {
  auto service = MakeService();
  EXPECT_EQ(service->Timer1.Interval(), milliseconds(3000));
  EXPECT_TRUE(service->Timer1.Enabled());
  EXPECT_THROW(service->Log("system", "x"), Error);  // no store before the start

  service->Timer1Timer();  // a tick before the start: the timer goes on for the next one
  EXPECT_TRUE(service->Timer1.Enabled());

  bool started = true;
  service->ServiceStart(started);
  service->stopFlag = 1;  // a stop already requested: the main loop returns at once
  service->Timer1Timer();
  EXPECT_FALSE(service->Timer1.Enabled());
}

TEST(SettingsList, GetSetAndAbsentNames) {
  SettingsList list;
  EXPECT_EQ(list.Get("path"), "");
  list.Set("path", "a");
  list.Set("id", "1");
  list.Set("path", "b=c");
  EXPECT_EQ(list.Get("path"), "b=c");
  EXPECT_EQ(list.Get("id"), "1");
  EXPECT_EQ(list.Get("PATH"), "");
  EXPECT_EQ(list.size(), 2u);
}

}  // namespace
}  // namespace vorel
