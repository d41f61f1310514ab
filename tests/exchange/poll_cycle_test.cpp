#include "exchange/poll_cycle.h"

#include <gtest/gtest.h>

#include "exchange/compress_text.h"
#include "exchange/dispatch_reply.h"
#include "exchange/exchange_fixture.h"
#include "exchange/request_address.h"
#include "platform/code_page.h"
#include "platform/file_age.h"
#include "platform/multipart_body.h"
#include "platform/path_text.h"

namespace vorel {
namespace {

using test::ExchangeHarness;
using Names = std::vector<std::string>;

// Files copied from the reception desk's Windows share keep upper-case names, and the clinic folder may have
// a Cyrillic name, which the setting holds in Windows-1251.
TEST(PollCycle, FindsTheWatchedFilesWhateverTheirLetterCaseOrFolderName) {
  for (const std::string sub : {"", "клиника/"}) {
    ExchangeHarness h;
    std::filesystem::create_directories(h.tables.path() + "/" + sub);
    for (const char* name : {"KESTRUM.EXE", "M2401.DBF", "CI003.DBF"}) h.tables.Write(sub + name);
    h.settings.Set("path", NarrowPathText(h.tables.path() + "/" + sub));
    RunPollCycle(h.ctx());
    const auto r = h.portal.Requests().at(0);
    EXPECT_EQ(r.Names(), (Names{"version", "soft", "spec", "nomer", "busynom"})) << sub;
    EXPECT_EQ(*r.Field("soft"), std::to_string(FileAge(h.tables.path() + "/" + sub + "KESTRUM.EXE"))) << sub;
  }
}

TEST(PollCycle, FirstRequestCarriesEveryExportInOrderAndExactBytes) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.state.sessionToken = "";
  h.portal.Queue("tok&post_spec");

  const PollCycleResult result = RunPollCycle(h.ctx());
  ASSERT_TRUE(result.posted);
  const auto requests = h.portal.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  EXPECT_EQ(r.Names(), (Names{"version", "soft", "spec", "nomer", "busynom"}));
  EXPECT_EQ(*r.Field("version"), "620");
  EXPECT_EQ(*r.Field("soft"), std::to_string(FileAge(h.tables.path() + "/kestrum.exe")));
  EXPECT_EQ(DecompressText(*r.Field("spec")), "<spec export>");
  EXPECT_EQ(*r.Field("spec"), CompressText("<spec export>"));
  EXPECT_EQ(DecompressText(*r.Field("nomer")), "<free slots>");
  EXPECT_EQ(DecompressText(*r.Field("busynom")), std::string("<nomer:") + kBusySlotStatement + ">");
  EXPECT_EQ(r.query.at("id"), "15");
  EXPECT_EQ(r.query.at("pass"), "secret");
  EXPECT_EQ(r.contentType, MultipartContentType(kDefaultMultipartBoundary));

  // The body is as long as the encoding of exactly these fields, and that is the size the log line gives.
  MultipartForm form;
  for (const auto& [name, value] : r.fields) form.Add(name, value);
  const std::string encoded = EncodeMultipartBody(form, kDefaultMultipartBoundary);
  EXPECT_EQ(r.contentLength, std::to_string(encoded.size()));
  EXPECT_TRUE(h.logger.Has("global", "GET # SizeData: " + std::to_string(encoded.size())));
  EXPECT_TRUE(h.logger.Has("system", "OK: Spec reload 13 - " + std::to_string(r.Field("spec")->size())));
  EXPECT_TRUE(h.logger.Has("system", "OK: Rasp reload"));
  EXPECT_TRUE(h.logger.Has("system", "Busy reload"));
  EXPECT_TRUE(h.logger.Has("system", "GET: tok&post_spec"));
  EXPECT_EQ(h.store.Read("query_in"), "tok&post_spec");
  EXPECT_FALSE(h.store.Read("reload_spec").empty());
  EXPECT_EQ(h.state.sessionToken, "tok");
  EXPECT_EQ(h.state.pendingAnswer, "spec reload");
  EXPECT_EQ(h.state.busySlotsFlag, 0);

  // post_spec: the unchanged files go out again, with the token and the answer.
  RunPollCycle(h.ctx());
  const auto second = h.portal.Requests().at(1);
  EXPECT_EQ(second.Names(), (Names{"version", "soft", "spec", "sess", "data"}));
  EXPECT_EQ(*second.Field("sess"), "tok");
  EXPECT_EQ(*second.Field("data"), "spec reload");
  // Reply "1": no command, the token is "1" and nothing is answered.
  EXPECT_EQ(h.state.sessionToken, "1");
  EXPECT_EQ(h.state.pendingAnswer, "pong");
  RunPollCycle(h.ctx());
  EXPECT_EQ(h.portal.Requests().at(2).Names(), (Names{"version", "soft", "sess"}));
}

TEST(PollCycle, RelaysTokenAndAnswerOfEachKindOfReply) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.commands.Bind("user", [](const ReplyFields& f) { return "patient " + f[2] + "/" + f[3]; });
  h.portal.Queue("abc&user&ivanov&123");
  h.portal.Queue("");
  h.portal.Queue("1\r\n");
  h.portal.Queue("s9&USER&x");
  h.portal.Queue("s10&adm_log&global");
  h.portal.Queue("s11&adm_log&nosuch");
  h.store.Write("log_global", "line one\r\n");
  for (int i = 0; i < 7; ++i) RunPollCycle(h.ctx());

  const auto r = h.portal.Requests();
  ASSERT_EQ(r.size(), 7u);
  EXPECT_EQ(*r[1].Field("sess"), "abc");
  EXPECT_EQ(*r[1].Field("data"), "patient ivanov/123");
  // Empty reply: the portal hears that nothing came.
  EXPECT_EQ(r[2].Field("sess"), nullptr);
  EXPECT_EQ(*r[2].Field("data"), "OVR ver.620");
  // "1" plus a line break is not "1": dispatched as a bare token, nothing answered.
  EXPECT_EQ(*r[3].Field("sess"), "1\r\n");
  EXPECT_EQ(r[3].Field("data"), nullptr);
  // Command words compare case-sensitively.
  EXPECT_EQ(*r[4].Field("sess"), "s9");
  EXPECT_EQ(r[4].Field("data"), nullptr);
  EXPECT_EQ(*r[5].Field("data"), "line one\r\n");
  EXPECT_EQ(*r[6].Field("sess"), "s11");
  EXPECT_EQ(r[6].Field("data"), nullptr);
}

TEST(PollCycle, PostNomerResendsFreeSlotsButDropsDueBusySlots) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.portal.Queue("s&post_nomer");
  RunPollCycle(h.ctx());
  h.state.busySlotsFlag = 1;  // as a booking would have left it, before the reply arrives
  h.portal.Queue("s&post_nomer");
  RunPollCycle(h.ctx());
  RunPollCycle(h.ctx());
  const auto r = h.portal.Requests();
  EXPECT_EQ(r[1].Names(), (Names{"version", "soft", "nomer", "busynom", "sess", "data"}));
  EXPECT_EQ(*r[1].Field("data"), "nomer reload");
  EXPECT_EQ(r[2].Names(), (Names{"version", "soft", "nomer", "sess", "data"}));
}

TEST(PollCycle, NewerReferenceFileResendsSpecOlderCopyDoesNot) {
  ExchangeHarness h;
  h.tables.WriteAll();
  h.tables.Remove("ci003.dbf");  // the newest of the others counts
  RunPollCycle(h.ctx());
  ASSERT_NE(h.portal.Requests()[0].Field("spec"), nullptr);
  RunPollCycle(h.ctx());
  EXPECT_EQ(h.portal.Requests()[1].Field("spec"), nullptr);
  h.tables.Write("c2409.dbf", 120);  // an older copy put back
  RunPollCycle(h.ctx());
  EXPECT_EQ(h.portal.Requests()[2].Field("spec"), nullptr);
  h.tables.Write("c2409.dbf", 0);  // touched now
  RunPollCycle(h.ctx());
  const auto r = h.portal.Requests()[3];
  ASSERT_NE(r.Field("spec"), nullptr);
  EXPECT_EQ(r.Field("nomer"), nullptr);
}

TEST(PollCycle, MissingFilesSendNothingAndSoftIsMinusOne) {
  ExchangeHarness h;
  RunPollCycle(h.ctx());
  const auto r = h.portal.Requests().at(0);
  EXPECT_EQ(r.Names(), (Names{"version", "soft", "busynom"}));
  EXPECT_EQ(*r.Field("soft"), "-1");
}

TEST(PollCycle, FailedExportsAreRecordedAndRetried) {
  ExchangeHarness h;
  h.tables.WriteAll();
  int failures = 2;
  h.clinic.specExport = [&]() -> std::string {
    if (failures-- > 0) throw std::runtime_error("table locked");
    return "<spec>";
  };
  h.clinic.renderTableXml = [&](const std::string&, const std::string&) -> std::string {
    if (failures > 0) throw std::runtime_error("table locked");
    return "<busy>";
  };
  RunPollCycle(h.ctx());
  EXPECT_EQ(h.store.Read("reload_spec"), std::string(AnsiText("Ошибка чтения таблиц").view()));
  EXPECT_TRUE(h.logger.Has("system", "Error: spec reload"));
  EXPECT_TRUE(h.logger.Has("system", "Error: send user nomer"));
  EXPECT_EQ(h.state.busySlotsFlag, 1);
  RunPollCycle(h.ctx());
  RunPollCycle(h.ctx());
  const auto r = h.portal.Requests();
  EXPECT_EQ(r[0].Names(), (Names{"version", "soft", "nomer"}));
  EXPECT_EQ(r[1].Names(), (Names{"version", "soft", "busynom", "sess"}));
  EXPECT_EQ(r[2].Names(), (Names{"version", "soft", "spec", "sess"}));
}

TEST(PollCycle, RequestAddressUsesOverrideOrBuiltInHost) {
  EXPECT_EQ(RequestAddress("", "portal.example", "15", "pw"),
            "http://portal.example/medic/server.php?id=15&pass=pw");
  EXPECT_EQ(RequestAddress("http://h:81/x.php", "portal.example", "15", ""), "http://h:81/x.php?id=15&pass=");
  // Every byte but letters, digits and "-._~" is escaped, so the portal reads id and pass as stored.
  const std::string pass = "a#b&c+d=e%f g\xE0/~._-";
  EXPECT_EQ(RequestAddress("", "portal.example", "1?5", pass),
            "http://portal.example/medic/server.php?id=1%3F5&pass=a%23b%26c%2Bd%3De%25f%20g%E0%2F~._-");
  ExchangeHarness h;
  h.settings.Set("pass", pass);
  RunPollCycle(h.ctx());
  EXPECT_EQ(h.portal.Requests().at(0).query.at("pass"), pass);
}

TEST(DispatchReply, FailingHandlerAnswersErrorAndRecordsIt) {
  ExchangeHarness h;
  h.commands.Bind("zapis", [](const ReplyFields&) -> std::string { throw std::runtime_error("locked"); });
  h.state.pendingAnswer = "";
  DispatchReply(h.ctx(), "tok&zapis&1&2");
  EXPECT_EQ(h.state.sessionToken, "tok");
  EXPECT_EQ(h.state.pendingAnswer, "Error");
  ASSERT_EQ(h.logger.Errors().size(), 1u);
  EXPECT_EQ(h.logger.Errors()[0].first, 11);
  EXPECT_EQ(h.logger.Errors()[0].second, std::string(AnsiText("Ошибка обработки команды zapis").view()));
  EXPECT_TRUE(h.logger.Has("system", "EXEPTION"));

  // An unbound command word acts like an unknown one.
  h.state.pendingAnswer = "";
  DispatchReply(h.ctx(), "t2&delrec&5");
  EXPECT_EQ(h.state.pendingAnswer, "");
  EXPECT_EQ(h.state.sessionToken, "t2");
}

TEST(DispatchReply, DispatcherCommandsReadTheirFields) {
  ExchangeHarness h;
  const std::pair<const char*, const char*> cases[] = {
      {"s&adm_sql&select count(*) from m2401", "<sql:select count(*) from m2401>"},
      {"s&adm_nomer&3&7", "<window 3,7>"},
      {"s&adm_nomer_user&42", "<patient 42>"},
      {"s&get_spec", "<spec export>"},
      {"s&get_grup", "<groups>"},
      {"s&nomer", "<free slots>"},
  };
  for (const auto& [reply, answer] : cases) {
    DispatchReply(h.ctx(), reply);
    EXPECT_EQ(h.state.pendingAnswer, answer) << reply;
  }
}

}  // namespace
}  // namespace vorel
