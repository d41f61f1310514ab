#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 over Winsock for the tests of the Windows HTTP client: one request per
// connection, each connection served by its own thread, handlers free to sleep or to send the body in timed
// pieces. Also serves as a stand-in proxy, since a proxy receives the whole address as the request target.
namespace vorel::test {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: a path, or the whole address when the server is used as a proxy
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The value of the first header of that name (any letter case), or empty text; `found` tells them apart.
  std::string Header(std::string_view name, bool* found = nullptr) const;
};

struct HttpResponse {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // When set, the body goes out in these pieces, each after its pause, with a Content-Length of their total.
  std::vector<std::pair<std::chrono::milliseconds, std::string>> pieces;
};

class WinsockHttpServer {
 public:
  using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

  explicit WinsockHttpServer(Handler handler);
  ~WinsockHttpServer();
  WinsockHttpServer(const WinsockHttpServer&) = delete;
  WinsockHttpServer& operator=(const WinsockHttpServer&) = delete;

  int port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Every request received so far, in order.
  std::vector<HttpRequest> Requests() const;
  // Closes the listening socket and every open connection, and waits for the serving threads.
  void Stop();

 private:
  void AcceptLoop();
  void Serve(SOCKET connection);

  Handler handler_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  mutable std::mutex mu_;
  std::vector<std::thread> workers_;
  std::vector<SOCKET> open_;
  std::vector<HttpRequest> requests_;
};

}  // namespace vorel::test
