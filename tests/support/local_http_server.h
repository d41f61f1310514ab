#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

namespace vorel::test {

// An HTTP server on 127.0.0.1 at a free port, serving in its own thread for the life of the object.
// Register handlers on server() before calling Start().
class LocalHttpServer {
 public:
  LocalHttpServer() = default;
  ~LocalHttpServer() { Stop(); }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  httplib::Server& server() { return server_; }
  void Start();
  void Stop();
  int port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

// A request body as a handler with a content reader receives it: the fields of a multipart/form-data body in
// the order sent, each value byte for byte; any other body whole in `raw`.
struct ReceivedBody {
  std::vector<std::pair<std::string, std::string>> fields;
  std::string raw;
};
ReceivedBody ReadBody(const httplib::Request& req, const httplib::ContentReader& reader);

}  // namespace vorel::test
