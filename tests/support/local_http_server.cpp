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

std::vector<std::pair<std::string, std::string>> ParseMultipart(const std::string& body,
                                                                const std::string& boundary) {
  std::vector<std::pair<std::string, std::string>> fields;
  const std::string delimiter = "--" + boundary;
  const std::string header = "\r\nContent-Disposition: form-data; name=\"";
  std::size_t pos = 0;
  for (;;) {
    if (body.compare(pos, delimiter.size(), delimiter) != 0) throw std::runtime_error("missing delimiter");
    pos += delimiter.size();
    if (body.compare(pos, 4, "--\r\n") == 0 && pos + 4 == body.size()) return fields;
    if (body.compare(pos, header.size(), header) != 0) throw std::runtime_error("bad part header");
    pos += header.size();
    const std::size_t nameEnd = body.find("\"\r\n\r\n", pos);
    if (nameEnd == std::string::npos) throw std::runtime_error("bad part name");
    std::string name = body.substr(pos, nameEnd - pos);
    pos = nameEnd + 5;
    const std::size_t valueEnd = body.find("\r\n" + delimiter, pos);
    if (valueEnd == std::string::npos) throw std::runtime_error("unterminated part");
    fields.emplace_back(std::move(name), body.substr(pos, valueEnd - pos));
    pos = valueEnd + 2;
  }
}

}  // namespace vorel::test
