#include "booking/patient_load.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <thread>

#include "clinic_fixture.h"
#include "platform/code_page.h"
#include "platform/http_client_factory.h"
#include "support/clinic_tables.h"

namespace vorel {
namespace {

using testing_support::PatientRow;

// The portal's configuration script on 127.0.0.1: answers with `reply` or `status`, records what it got.
class ConfigServer {
 public:
  ConfigServer() {
    server_.Post("/medic/online_config.php", [this](const httplib::Request& req, httplib::Response& res) {
      ++requests;
      query = req.get_param_value("m1005sel");
      multipart = req.is_multipart_form_data();
      version = req.get_file_value("version").content;
      res.status = status;
      res.set_content(reply, "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~ConfigServer() {
    server_.stop();
    thread_.join();
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  std::string reply;
  int status = 200;
  std::atomic<int> requests{0};
  std::string query, version;
  bool multipart = false;

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

constexpr AnsiText kPetrovStored(" Петров ");
constexpr AnsiText kPetrov("петров");
constexpr AnsiText kOleg(" Олег");
constexpr AnsiText kAnna("анна");
constexpr AnsiText kUpperA("А");
constexpr AnsiText kSergeevich("Сергеевич");
constexpr AnsiText kUpperS("С");

class PatientLoadTest : public testing_support::ClinicFixture {
 protected:
  PatientLoadContext Context() { return PatientLoadContext{db_, cache_, *http_, store_, server_.host()}; }
  std::vector<std::string> SystemLines() { return log_.Channel("system"); }
  void Load() {
    auto ctx = Context();
    LoadPatientCache(ctx);
  }

  ConfigServer server_;
  std::unique_ptr<HttpClient> http_ = CreateHttpClient();
  PatientCache cache_;
};

std::vector<PatientRow> SampleRows() {
  return {
      {"123", 555, kPetrovStored.str(), kAnna.str(), kSergeevich.str(), " 12 ", 70000, 300,
       CivilDate{1980, 2, 1}},
      {"", 556, "empty policy", "", "", "", 0, 0, std::nullopt},
      {"124", 0, "zero id", "", "", "", 0, 0, std::nullopt},
      {"125", -4, "negative id", "", "", "", 0, 0, std::nullopt},
      {"77", 12, "IVANOV", kOleg.str(), "", "3", 1, 2, std::nullopt},
      {"78", 555, "duplicate", "", "", "", 0, 0, std::nullopt},
  };
}

TEST_F(PatientLoadTest, LoadsQualifyingRowsNormalisedAndLogsEveryStep) {
  testing_support::WriteM1005(folder_, SampleRows());
  server_.reply = "npol,kl,fiol,im,ot,uch,lpu1,probc,data_r";
  Load();

  EXPECT_EQ(server_.requests, 1);
  EXPECT_EQ(server_.query, "1");
  EXPECT_TRUE(server_.multipart);
  EXPECT_EQ(server_.version, "620");

  ASSERT_EQ(cache_.count(), 3);
  const pac_rec& p = cache_.slot(1);
  EXPECT_EQ(p.fiol.view(), kPetrov.view());
  EXPECT_EQ(p.imText(), kUpperA.view());
  EXPECT_EQ(p.otText(), kUpperS.view());
  EXPECT_EQ(p.uch.view(), "12");
  EXPECT_EQ(p.npol.view(), "123");
  EXPECT_EQ(p.kl, 555);
  EXPECT_EQ(p.lpu1, 4464);
  EXPECT_EQ(p.probc, 44);
  EXPECT_EQ(p.data_r.view(), "01.02.1980");
  const pac_rec& q = cache_.slot(2);
  EXPECT_EQ(q.fiol.view(), "ivanov");
  EXPECT_EQ(q.imText(), " ");  // a first name that starts with a blank
  EXPECT_EQ(q.otText(), "");   // a blank patronymic
  EXPECT_EQ(q.data_r.view(), "");
  EXPECT_EQ(cache_.FindPatientById(555), &cache_.slot(1));  // the duplicate id in slot 3 loses
  EXPECT_EQ(cache_.FindPatientById(556), nullptr);

  const std::string statement =
      "select npol,kl,fiol,im,ot,uch,lpu1,probc,data_r from m1005 where npol<>'' and kl>0";
  EXPECT_EQ(SystemLines(), (std::vector<std::string>{
                               "Load user...", "Load sql string: npol,kl,fiol,im,ot,uch,lpu1,probc,data_r",
                               "SQL path: " + ConnectionString(), "SQL: " + statement, "SQL clear ",
                               "SQL active ", "SQL start", "Load user count:3"}));
  EXPECT_EQ(store_.values["user_cnt"], "3");
  EXPECT_EQ(store_.values["reload_user"], "15.12.2026 10:00:00");
  EXPECT_EQ(cache_.timeOfLastLoad, clock_.now);
  EXPECT_FALSE(ado_.Connected());
  EXPECT_FALSE(sql_.Active());  // the rows live in the cache, not a second time in the result set
}

TEST_F(PatientLoadTest, FailedRequestKeepsTheDefaultListAndProgressIsLoggedEvery1000Rows) {
  testing_support::WriteM1005(folder_, 2500, [](size_t i) {
    return PatientRow{
        "p" + std::to_string(i), static_cast<int64_t>(i + 1), "fam", "i", "o", "1", 0, 0, std::nullopt};
  });
  server_.status = 500;
  Load();
  const auto lines = SystemLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "fail sql load");
  EXPECT_EQ(
      lines[3],
      "SQL: select npol,kl,fiol,im,ot,uch,npol,kl,lpu1,probc,data_r from m1005 where npol<>'' and kl>0");
  EXPECT_EQ(cache_.columnList, kDefaultPatientColumnList);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "User load: 1000"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "User load: 2000"), 1);
  EXPECT_EQ(lines.back(), "Load user count:2500");
  EXPECT_EQ(cache_.FindPatientById(2500)->npol.view(), "p2499");
}

TEST_F(PatientLoadTest, EmptyReplyGivesTheFailingQueryAndAnEmptyCache) {
  testing_support::WriteM1005(folder_, SampleRows());
  server_.reply = "";
  Load();
  Load();  // a second time over the first's results: still empty
  auto ctx = Context();
  EXPECT_EQ(RunLoadUserCommand(ctx), "user load");
  const auto lines = SystemLines();
  EXPECT_EQ(lines[3], "SQL: select  from m1005 where npol<>'' and kl>0");
  EXPECT_EQ(lines[5].rfind("POST.Error:", 0), 0u) << lines[5];
  EXPECT_EQ(lines[6], "SQL active ");
  EXPECT_EQ(lines[7].rfind("Load user error 1 fam:", 0), 0u) << lines[7];
  EXPECT_EQ(lines[8], "Load user count:0");
  EXPECT_EQ(cache_.count(), 0);
  EXPECT_EQ(store_.values.count("user_cnt"), 0u);
  EXPECT_EQ(cache_.timeOfLastLoad, clock_.now);
}

TEST_F(PatientLoadTest, RowsThatFailPartWayAreCountedAndKeepNothingOfAnEarlierLoad) {
  testing_support::WriteM1005(folder_, SampleRows());
  server_.reply = "npol,kl,fiol,im,ot,uch,lpu1,probc,data_r";
  Load();
  ASSERT_EQ(cache_.slot(1).lpu1, 4464);
  // The portal's list now lacks kl and the rest: every row fails at kl.
  server_.reply = "fiol,im,ot,uch,npol";
  log_.lines.clear();
  auto ctx = Context();
  EXPECT_EQ(RunLoadUserCommand(ctx), "user load");
  EXPECT_EQ(cache_.count(), 3);
  const pac_rec& p = cache_.slot(1);
  EXPECT_EQ(p.fiol.view(), kPetrov.view());
  EXPECT_EQ(p.npol.view(), "123");
  EXPECT_EQ(p.kl, 0);  // not 555 from the earlier load
  EXPECT_EQ(p.lpu1, 0);
  EXPECT_EQ(p.data_r.view(), "");
  EXPECT_EQ(cache_.FindPatientById(555), nullptr);
  const auto lines = SystemLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Load user problem: 1 " + kPetrovStored.str() +
                          std::string(30 - kPetrovStored.view().size(), ' ')),
            lines.end());
  EXPECT_EQ(lines.back(), "Load user count:3");
}

TEST_F(PatientLoadTest, SmallerReloadReplacesALargerOne) {
  testing_support::WriteM1005(folder_, SampleRows());
  server_.reply = std::string(kDefaultPatientColumnList);
  Load();
  ASSERT_EQ(cache_.count(), 3);
  std::filesystem::remove(folder_ / "m1005.dbf");
  testing_support::WriteM1005(folder_, {PatientRow{"9", 9, "new", "", "", "", 0, 0, std::nullopt}});
  Load();
  EXPECT_EQ(cache_.count(), 1);
  EXPECT_EQ(cache_.FindPatientById(555), nullptr);
  EXPECT_EQ(cache_.FindPatientById(9), &cache_.slot(1));
  EXPECT_EQ(store_.values["user_cnt"], "1");
}

TEST_F(PatientLoadTest, MissingTableEndsTheLoadWithAnEmptyCache) {
  auto ctx = Context();
  EXPECT_EQ(RunLoadUserCommand(ctx), "user load");
  EXPECT_EQ(cache_.count(), 0);
  EXPECT_EQ(SystemLines().back(), "Load user count:0");
}

// A statement failing at a row further on (after more than a thousand rows) leaves what one failing at its
// first row leaves: the same lines, an empty cache and nothing of the earlier load.
TEST_F(PatientLoadTest, StatementFailingPartWayEndsTheLoadAsAFailureAtOnce) {
  const std::string good = "npol,kl,fiol,im,ot,uch,lpu1,probc,data_r";
  std::vector<std::vector<std::string>> lines;
  std::vector<size_t> heldBytes;  // no texts of the failed load's rows stay behind
  for (const size_t failing : {size_t{0}, size_t{1500}}) {
    std::filesystem::remove(folder_ / "m1005.dbf");
    testing_support::WriteM1005(folder_, 1501, [&](size_t i) {
      return PatientRow{
          "p", i == failing ? 9000 : static_cast<int64_t>(i + 1), "fam", "", "", "", 0, 0, std::nullopt};
    });
    server_.reply = good;
    Load();
    ASSERT_EQ(cache_.count(), 1501);
    store_.values.clear();
    log_.lines.clear();
    server_.reply = good + ",len(space(5000-kl))";  // no text of a negative length: kl 9000 fails
    Load();
    EXPECT_EQ(cache_.count(), 0);
    EXPECT_EQ(cache_.FindPatientById(1), nullptr);
    EXPECT_EQ(store_.values.count("user_cnt"), 0u);
    EXPECT_FALSE(ado_.Connected());
    EXPECT_FALSE(sql_.Active());
    lines.push_back(SystemLines());
    heldBytes.push_back(cache_.HeldBytes());
  }
  ASSERT_EQ(lines[0].size(), 9u);
  EXPECT_EQ(lines[0][5].rfind("POST.Error:", 0), 0u) << lines[0][5];
  EXPECT_EQ(std::vector<std::string>(lines[0].begin() + 6, lines[0].end()),
            (std::vector<std::string>{"SQL active ", "Load user error 1 fam: id:", "Load user count:0"}));
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(heldBytes[1], heldBytes[0]);
}

// Birth dates repeat over a register: each row still gets the text of its own date, also where two dates
// share a place among the dates kept (16384 days apart).
TEST_F(PatientLoadTest, EachRowGetsTheTextOfItsOwnBirthDate) {
  const std::optional<CivilDate> dates[] = {CivilDate{1980, 2, 1}, CivilDate{2024, 12, 10},
                                            CivilDate{1980, 2, 1}, std::nullopt, CivilDate{2024, 12, 10}};
  testing_support::WriteM1005(folder_, std::size(dates), [&](size_t i) {
    return PatientRow{"p", static_cast<int64_t>(i + 1), "fam", "", "", "", 0, 0, dates[i]};
  });
  server_.reply = "npol,kl,fiol,data_r,im,ot,uch,lpu1,probc";
  Load();
  ASSERT_EQ(cache_.count(), 5);
  const char* expected[] = {"01.02.1980", "10.12.2024", "01.02.1980", "", "10.12.2024"};
  for (int32_t n = 1; n <= 5; ++n) EXPECT_EQ(cache_.slot(n).data_r.view(), expected[n - 1]) << n;
}

}  // namespace
}  // namespace vorel
