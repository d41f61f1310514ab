#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/http_client_factory.h"
#include "winsock_http_server.h"

// The Windows HTTP client through Debian's tinyproxy with basic authentication, when the tests run under Wine
// on a machine that has it: Wine starts the Linux proxy itself and the Windows program reaches it on
// 127.0.0.1. Elsewhere (Windows proper) the test is skipped.
namespace vorel {
namespace {

using namespace std::chrono_literals;
using test::HttpRequest;
using test::HttpResponse;
using test::WinsockHttpServer;

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command line of the host system (Wine starts Linux programs named by their Linux path).
bool RunOnHost(std::string commandLine, bool wait) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  if (wait) WaitForSingleObject(started.hProcess, 10000);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

bool CanConnect(int port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  closesocket(s);
  return ok;
}

// tinyproxy on 127.0.0.1 requiring basic authentication, for the life of the object; `timeout` ends it even
// if the test never gets to.
class HostTinyProxy {
 public:
  HostTinyProxy(const std::string& user, const std::string& password) {
    {
      WinsockHttpServer probe([](const HttpRequest&, HttpResponse&) {});
      port_ = probe.port();
    }
    const std::string folder = "/tmp/vorel_winproxy_" + std::to_string(GetCurrentProcessId());
    windowsFolder_ = "Z:" + folder;
    CreateDirectoryA(windowsFolder_.c_str(), nullptr);
    std::ofstream(windowsFolder_ + "\\tinyproxy.conf", std::ios::binary)
        << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 8\nAllow 127.0.0.1\nBasicAuth "
        << user << " " << password << "\nLogFile \"" << folder << "/tinyproxy.log\"\nLogLevel Info\n";
    pidFile_ = folder + "/tinyproxy.pid";
    RunOnHost("/bin/sh -c \"echo $$ > " + pidFile_ + "; exec timeout 120 tinyproxy -d -c " + folder +
                  "/tinyproxy.conf\"",
              false);
    for (int i = 0; i < 200 && !CanConnect(port_); ++i) std::this_thread::sleep_for(50ms);
  }
  ~HostTinyProxy() {
    RunOnHost("/bin/sh -c \"kill $(cat " + pidFile_ + ")\"", true);
    RunOnHost("/bin/sh -c \"rm -rf " + windowsFolder_.substr(2) + "\"", true);
  }
  int port() const { return port_; }
  bool running() const { return CanConnect(port_); }

 private:
  int port_ = 0;
  std::string windowsFolder_;
  std::string pidFile_;
};

TEST(WinHttpClientThroughTinyproxy, BasicAuthenticationCookiesAndRefusal) {
  if (!Exists("Z:\\usr\\bin\\tinyproxy") || !Exists("Z:\\bin\\sh")) {
    GTEST_SKIP() << "no host tinyproxy: not running under Wine on a machine with tinyproxy";
  }
  HostTinyProxy proxy("clinic", "pr0xy");
  ASSERT_TRUE(proxy.running()) << "tinyproxy did not start";
  WinsockHttpServer portal([](const HttpRequest&, HttpResponse& res) {
    res.headers.emplace_back("Set-Cookie", "PHPSESSID=s1; path=/");
    res.body = "reply";
  });

  auto client = CreateHttpClient();
  // "localhost", not "127.0.0.1": Wine sends a proxy only the path when both have the same host name.
  client->proxy().host = "localhost";
  client->proxy().port = proxy.port();
  client->proxy().user = "clinic";
  client->proxy().password = "pr0xy";
  client->proxy().basicAuth = true;
  const std::string url = portal.BaseUrl() + "/medic/server.php?id=7&pass=secret";
  EXPECT_EQ(client->Post(url, "text/plain", "form one"), "reply");
  EXPECT_EQ(client->Post(url, "text/plain", "form two"), "reply");
  auto seen = portal.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_NE(seen[0].Header("Via").find("tinyproxy"), std::string::npos);  // the proxy marks what it forwards
  EXPECT_EQ(seen[0].target, "/medic/server.php?id=7&pass=secret");
  EXPECT_EQ(seen[1].body, "form two");
  EXPECT_EQ(seen[1].Header("Cookie"), "PHPSESSID=s1");

  // A wrong password: the proxy refuses, the portal sees nothing.
  client->proxy().password = "wrong";
  bool refused = false;
  try {
    client->Post(url, "text/plain", "form three");
  } catch (const HttpStatusError&) {
    refused = true;
  } catch (const HttpConnectError&) {
    refused = true;
  }
  EXPECT_TRUE(refused);
  EXPECT_EQ(portal.Requests().size(), 2u);
}

}  // namespace
}  // namespace vorel
