#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/http_client_factory.h"
#include "platform/windows/http_address.h"
#include "winsock_http_server.h"

namespace vorel {
namespace {

using namespace std::chrono_literals;
using test::HttpRequest;
using test::HttpResponse;
using test::WinsockHttpServer;

TEST(WinHttpClient, PostsBodyWithFixedHeadersAndKeepsCookies) {
  WinsockHttpServer http([](const HttpRequest&, HttpResponse& res) {
    res.headers.emplace_back("Set-Cookie", "PHPSESSID=abc123; path=/");
    res.body = std::string("ok\0\xe0", 4);
  });
  auto client = CreateHttpClient();
  const std::string body("a\0b\r\n", 5);
  EXPECT_EQ(
      client->Post(http.BaseUrl() + "/medic/server.php?id=7&pass=x", "application/x-test; boundary=Q", body),
      std::string("ok\0\xe0", 4));
  // A blank and a Cyrillic byte cannot stand in a URL as they are; "%" and "&" stay as given.
  client->Post(http.BaseUrl() + "/medic/server.php?id=7&pass=p w\xe0%41&x", "text/plain", "second");

  const auto seen = http.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].target, "/medic/server.php?id=7&pass=x");
  EXPECT_EQ(seen[0].body, body);
  EXPECT_EQ(seen[0].Header("Content-Type"), "application/x-test; boundary=Q");
  EXPECT_EQ(seen[0].Header("Accept"), "text/html, */*");
  EXPECT_EQ(seen[0].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
  bool found = true;
  seen[0].Header("Expect", &found);
  EXPECT_FALSE(found);
  seen[0].Header("Cookie", &found);
  EXPECT_FALSE(found);
  seen[0].Header("Proxy-Authorization", &found);
  EXPECT_FALSE(found);
  EXPECT_EQ(seen[1].Header("Cookie"), "PHPSESSID=abc123");
  EXPECT_EQ(seen[1].target, "/medic/server.php?id=7&pass=p%20w%E0%41&x");
}

TEST(WinHttpClient, LargeBodiesTravelWholeBothWays) {
  std::string upload(300000, '\0');
  for (size_t i = 0; i < upload.size(); ++i) upload[i] = static_cast<char>(i * 13 % 256);
  WinsockHttpServer http([](const HttpRequest& req, HttpResponse& res) {
    res.body = req.body;
    std::reverse(res.body.begin(), res.body.end());
  });
  auto client = CreateHttpClient();
  std::string expected(upload.rbegin(), upload.rend());
  EXPECT_EQ(client->Post(http.BaseUrl() + "/echo", "application/octet-stream", upload), expected);
  EXPECT_EQ(http.Requests().at(0).body, upload);
}

TEST(WinHttpClient, FailuresCarryTheirKind) {
  WinsockHttpServer http([](const HttpRequest& req, HttpResponse& res) {
    if (req.target == "/missing") {
      res.status = 404;
      res.reason = "Not Found";
      res.body = "no such page";
    } else if (req.target == "/moved") {
      // Not followed, and no answer: a body that looks like a portal reply is never taken for one.
      res.status = 302;
      res.reason = "Found";
      res.headers.emplace_back("Location", "/file");
      res.body = "s9&adm_info";
    } else {
      res.body = "payload";
    }
  });
  auto client = CreateHttpClient();

  EXPECT_EQ(client->Get(http.BaseUrl() + "/file"), "payload");
  for (const auto& [target, line] :
       {std::pair{"/missing", "HTTP/1.1 404 Not Found"}, {"/moved", "HTTP/1.1 302 Found"}}) {
    try {
      client->Get(http.BaseUrl() + target);
      FAIL() << "no error for " << target;
    } catch (const HttpStatusError& e) {
      EXPECT_STREQ(e.kind(), "HttpStatusError");
      EXPECT_EQ(std::string(e.what()), line);
    }
  }

  int port = 0;
  {
    WinsockHttpServer gone([](const HttpRequest&, HttpResponse&) {});
    port = gone.port();
  }
  try {
    client->Get("http://127.0.0.1:" + std::to_string(port) + "/file");
    FAIL() << "no error";
  } catch (const HttpConnectError& e) {
    EXPECT_STREQ(e.kind(), "HttpConnectError");
    EXPECT_NE(std::string(e.what()).find("127.0.0.1 port " + std::to_string(port)), std::string::npos)
        << e.what();
  }
  EXPECT_THROW(client->Get("ftp://127.0.0.1/file"), HttpError);
}

TEST(WinHttpClient, SilenceEndsTheRequestButSteadyDataDoesNot) {
  WinsockHttpServer http([](const HttpRequest& req, HttpResponse& res) {
    if (req.target == "/silent") {
      std::this_thread::sleep_for(1500ms);
      res.body = "late";
    } else {
      for (int i = 0; i < 6; ++i) res.pieces.emplace_back(200ms, "x");
    }
  });
  HttpClientOptions options;
  options.readTimeout = 500ms;
  auto client = CreateHttpClient(options);

  try {
    client->Get(http.BaseUrl() + "/silent");
    FAIL() << "no error";
  } catch (const HttpTimeoutError& e) {
    EXPECT_EQ(std::string(e.what()), "Read timed out: no data for 500 ms");
  }
  // Six pieces 200 ms apart take longer than the time-out in total, yet never fall silent for that long.
  EXPECT_EQ(client->Get(http.BaseUrl() + "/steady"), "xxxxxx");
}

TEST(WinHttpClient, DisconnectBreaksOffARequestInProgressAndTheNextOneWorks) {
  std::atomic<bool> release{false};
  WinsockHttpServer http([&](const HttpRequest& req, HttpResponse& res) {
    if (req.target == "/hold") {
      for (int i = 0; i < 500 && !release; ++i) std::this_thread::sleep_for(10ms);
      res.body = "held";
    } else {
      res.body = "quick";
    }
  });
  auto client = CreateHttpClient();

  std::thread stopper([&] {
    std::this_thread::sleep_for(300ms);
    client->Disconnect();
  });
  EXPECT_THROW(client->Get(http.BaseUrl() + "/hold"), HttpAbortedError);
  stopper.join();
  // Broken off while the server still held the answer, not after it.
  EXPECT_FALSE(release.load());
  release = true;
  EXPECT_EQ(client->Get(http.BaseUrl() + "/quick"), "quick");
  // A Disconnect between two requests breaks off the next one, which is never sent.
  client->Disconnect();
  EXPECT_THROW(client->Get(http.BaseUrl() + "/hold"), HttpAbortedError);
  EXPECT_EQ(client->Get(http.BaseUrl() + "/quick"), "quick");
}

TEST(WinHttpClient, DisconnectBreaksOffAnUploadThatTheServerNeverReads) {
  // A listener that never accepts: the connection is made by the system, but nobody reads the body, so the
  // upload stalls once the buffers are full.
  WinsockHttpServer probe([](const HttpRequest&, HttpResponse&) {});
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  int size = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/upload";

  auto client = CreateHttpClient();
  const std::string body(64 << 20, 'u');
  // One Disconnect: it breaks off the upload in progress, or, when a slow start (a fresh Wine prefix takes long
  // over the first large buffer) has not begun it yet, the upload as it begins.
  std::thread stopper([&] {
    std::this_thread::sleep_for(500ms);
    client->Disconnect();
  });
  EXPECT_THROW(client->Post(url, "application/octet-stream", body), HttpAbortedError);
  stopper.join();
  closesocket(listener);
  EXPECT_EQ(client->Post(probe.BaseUrl() + "/after", "text/plain", "x"), "");
}

TEST(WinHttpClient, ProxyGetsTheWholeAddressWithBasicAuthentication) {
  // "clinic:pr0xy" in base64.
  const std::string expected = "Basic Y2xpbmljOnByMHh5";
  WinsockHttpServer proxy([&](const HttpRequest& req, HttpResponse& res) {
    if (req.Header("Proxy-Authorization") != expected) {
      res.status = 407;
      res.reason = "Proxy Authentication Required";
      res.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"proxy\"");
      return;
    }
    res.body = "via proxy: " + req.body;
  });
  auto client = CreateHttpClient();
  client->proxy().host = "127.0.0.1";
  client->proxy().port = proxy.port();
  client->proxy().user = "clinic";
  client->proxy().password = "pr0xy";
  client->proxy().basicAuth = true;
  // The portal's address is never reached directly: only the proxy answers.
  const std::string portal = "http://portal.invalid:8081/medic/server.php?id=7";
  EXPECT_EQ(client->Post(portal, "text/plain", "form"), "via proxy: form");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].target, portal);

  client->proxy().password = "wrong";
  try {
    client->Post(portal, "text/plain", "form");
    FAIL() << "no error";
  } catch (const HttpStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("407"), std::string::npos) << e.what();
  }

  // Basic authentication off: no credentials are sent at all.
  client->proxy().basicAuth = false;
  EXPECT_THROW(client->Get(portal), HttpStatusError);
  bool found = true;
  proxy.Requests().back().Header("Proxy-Authorization", &found);
  EXPECT_FALSE(found);

  // Without a proxy host the request goes straight to the address.
  client->proxy().host.clear();
  WinsockHttpServer direct([](const HttpRequest&, HttpResponse& res) { res.body = "direct"; });
  EXPECT_EQ(client->Get(direct.BaseUrl() + "/x"), "direct");
  EXPECT_EQ(direct.Requests().at(0).target, "/x");
}

TEST(HttpAddress, SplitsTheAddressAsLibcurlReadsIt) {
  auto a = windows::ParseHttpAddress("http://portal.example:8080/medic/server.php?id=1&pass=\xe0 b#frag");
  EXPECT_FALSE(a.secure);
  EXPECT_EQ(a.host, "portal.example");
  EXPECT_EQ(a.port, 8080);
  EXPECT_EQ(a.target, "/medic/server.php?id=1&pass=%E0%20b");

  a = windows::ParseHttpAddress("portal.example?id=1");  // no scheme, no path
  EXPECT_EQ(a.port, 80);
  EXPECT_EQ(a.host, "portal.example");
  EXPECT_EQ(a.target, "/?id=1");

  a = windows::ParseHttpAddress("HTTPS://user:pw@[::1]/x");
  EXPECT_TRUE(a.secure);
  EXPECT_EQ(a.port, 443);
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.target, "/x");

  EXPECT_THROW(windows::ParseHttpAddress("http://host:99999/"), HttpError);
  EXPECT_THROW(windows::ParseHttpAddress("http://host:8o/"), HttpError);
  EXPECT_THROW(windows::ParseHttpAddress("http:///path"), HttpError);
  EXPECT_THROW(windows::ParseHttpAddress("gopher://host/"), HttpError);
}

TEST(HttpAddress, BasicAuthorizationEncodesTheBytesAsGiven) {
  EXPECT_EQ(windows::BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(windows::BasicAuthorization("a", "b"), "Basic YTpi");
  EXPECT_EQ(windows::BasicAuthorization("", ""), "Basic Og==");
  EXPECT_EQ(windows::BasicAuthorization("\xc8", "\xff"), "Basic yDr/");  // Windows-1251 bytes, not UTF-8
}

}  // namespace
}  // namespace vorel
