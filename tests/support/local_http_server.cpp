#include "support/local_http_server.h"

#include <chrono>
#include <stdexcept>

namespace vorel::test {

void LocalHttpServer::Start() {
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a local port");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LocalHttpServer::Stop() {
  if (thread_.joinable()) {
    server_.stop();
    thread_.join();
  }
}

ReceivedBody ReadBody(const httplib::Request& req, const httplib::ContentReader& reader) {
  ReceivedBody body;
  if (req.is_multipart_form_data()) {
    reader(
        [&](const httplib::MultipartFormData& part) {
          body.fields.emplace_back(part.name, std::string());
          return true;
        },
        [&](const char* data, size_t length) {
          body.fields.back().second.append(data, length);
          return true;
        });
  } else {
    reader([&](const char* data, size_t length) {
      body.raw.append(data, length);
      return true;
    });
  }
  return body;
}

}  // namespace vorel::test
