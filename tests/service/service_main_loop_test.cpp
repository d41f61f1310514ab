#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/code_page.h"
#include "platform/state_store_factory.h"
#include "service/message_loop.h"
#include "service/service_module.h"
#include "support/local_http_server.h"
#include "support/temp_folder.h"

namespace vorel {
namespace {

using namespace std::chrono_literals;

// The service module's tick runs the main loop over its own components: requests reach the portal at
// "portal_host", the relay works through the module's state, and a stop breaks off a held request.
TEST(ServiceMainLoop, TickPollsThePortalUntilTheStopBreaksOffTheHeldRequest) {
  testing::TempFolder dir("vorel_service_loop");
  std::filesystem::create_directories(dir.path() / "clinic");
  test::LocalHttpServer portal;
  std::mutex mu;
  std::vector<std::string> paths;
  std::vector<std::string> sessions;
  std::atomic<bool> hold{false};
  std::atomic<bool> closing{false};
  portal.server().Post("/medic/server.php", [&](const httplib::Request& req, httplib::Response& res,
                                                const httplib::ContentReader& reader) {
    const auto body = test::ReadBody(req, reader);
    std::string sess = "-";
    for (const auto& [name, value] : body.fields) {
      if (name == "sess") sess = value;
    }
    std::size_t n;
    {
      std::lock_guard lock(mu);
      paths.push_back(req.path + "?" + req.get_param_value("id") + "/" + req.get_param_value("pass"));
      sessions.push_back(sess);
      n = paths.size();
    }
    while (hold && !closing) std::this_thread::sleep_for(5ms);
    res.set_content(n == 1 ? "t1&post_spec" : "1", "text/html");
  });
  portal.server().Post("/medic/online_config.php", [](const httplib::Request&, httplib::Response& res,
                                                      const httplib::ContentReader& reader) {
    reader([](const char*, size_t) { return true; });
    res.set_content("npol,kl,fiol,im,ot,uch,npol,kl,lpu1,probc,data_r", "text/html");
  });
  portal.Start();

  const std::string storePath = (dir.path() / "state.db").string();
  {
    auto store = OpenStateStore(storePath);
    store->Write("path", (dir.path() / "clinic").string());
    store->Write("id", "15");
    store->Write("pass", "pw");
    store->Write("portal_host", "127.0.0.1:" + std::to_string(portal.port()));
  }
  MessageLoop loop;
  ServiceEnvironment env;
  env.openStateStore = [&]() -> std::unique_ptr<StateStore> { return OpenStateStore(storePath); };
  env.programFolder = [] { return std::string("/opt/vorel/"); };
  TVorelService service(loop, std::move(env));
  bool started = true;
  service.ServiceStart(started);

  std::thread mainThread([&] { service.Timer1Timer(); });
  auto requests = [&] {
    std::lock_guard lock(mu);
    return paths.size();
  };
  for (int i = 0; i < 400 && requests() < 3; ++i) std::this_thread::sleep_for(10ms);
  hold = true;
  const std::size_t before = requests();
  for (int i = 0; i < 400 && requests() == before; ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(50ms);

  const auto stopAt = std::chrono::steady_clock::now();
  bool stopped = false;
  service.ServiceStop(stopped);
  mainThread.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 1500ms);
  closing = true;

  std::lock_guard lock(mu);
  ASSERT_GE(paths.size(), 3u);
  EXPECT_EQ(paths[0], "/medic/server.php?15/pw");
  EXPECT_EQ(sessions[0], "-");
  EXPECT_EQ(sessions[1], "t1");  // the relay of the session token through the module's state
  EXPECT_EQ(sessions[2], "1");
  auto store = OpenStateStore(storePath);
  EXPECT_EQ(store->Read("critical_error"), std::string(AnsiText("Не обнаружено").view()));
  EXPECT_EQ(store->Read("query_in"), "1");
  EXPECT_NE(store->Read("log_global").find("POST.Error:HttpAbortedError"), std::string::npos);
  EXPECT_FALSE(store->Read("service_stop").empty());
}

}  // namespace
}  // namespace vorel
