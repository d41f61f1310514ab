#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "exchange/exchange_fixture.h"
#include "exchange/main_loop.h"
#include "exchange/poll_cycle.h"

namespace vorel {
namespace {

bool CanConnect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

int FreePort() {
  test::LocalHttpServer probe;
  probe.Start();
  return probe.port();
}

// Debian's tinyproxy on 127.0.0.1, requiring basic authentication, for the life of the object.
class TinyProxy {
 public:
  TinyProxy(const std::string& user, const std::string& password) : port_(FreePort()) {
    char tmpl[] = "/tmp/vorel_proxy_XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::ofstream(dir_ + "/tinyproxy.conf")
        << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 8\n"
        << "Allow 127.0.0.1\nBasicAuth " << user << " " << password << "\nLogFile \"" << dir_
        << "/tinyproxy.log\"\nLogLevel Info\n";
    pid_ = fork();
    if (pid_ == 0) {
      execlp("tinyproxy", "tinyproxy", "-d", "-c", (dir_ + "/tinyproxy.conf").c_str(), nullptr);
      _exit(127);
    }
    for (int i = 0; i < 200 && !CanConnect(port_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~TinyProxy() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(dir_);
  }
  int port() const { return port_; }
  bool running() const { return CanConnect(port_); }

 private:
  int port_;
  std::string dir_;
  pid_t pid_ = -1;
};

TEST(ExchangeThroughProxy, RequestsGoThroughTheProxyWithBasicAuthentication) {
  TinyProxy proxy("clinic", "pr0xy");
  ASSERT_TRUE(proxy.running()) << "tinyproxy did not start";
  test::ExchangeHarness h;
  h.store.Write("proxy", "127.0.0.1");
  h.store.Write("proxylogin", "clinic");
  h.store.Write("proxypass", "pr0xy");
  h.store.Write("proxyport", std::to_string(proxy.port()));
  ApplyProxySettings(h.ctx());
  h.portal.Queue("tok&post_spec");
  ASSERT_TRUE(RunPollCycle(h.ctx()).posted);
  RunPollCycle(h.ctx());
  const auto r = h.portal.Requests();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_NE(r[0].headers.find("Via"), r[0].headers.end());  // the proxy marks what it forwards
  EXPECT_EQ(*r[1].Field("data"), "spec reload");
  EXPECT_EQ(r[1].query.at("pass"), "secret");

  // A wrong password: the proxy refuses (a 407, or a reset while the body is still on its way), the portal
  // sees nothing, and the failure is logged with its kind.
  h.store.Write("proxypass", "wrong");
  ApplyProxySettings(h.ctx());
  EXPECT_FALSE(RunPollCycle(h.ctx()).posted);
  EXPECT_EQ(h.portal.Requests().size(), 2u);
  bool refused = false;
  for (const auto& line : h.logger.Lines()) {
    refused |= (line.message.starts_with("POST.Error:HttpStatusError ") &&
                line.message.find("407") != std::string::npos) ||
               line.message.starts_with("POST.Error:HttpConnectError ");
  }
  EXPECT_TRUE(refused) << h.logger.Lines().back().message;
}

}  // namespace
}  // namespace vorel
