#include "winsock_http_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>

namespace vorel::test {
namespace {

struct WinsockStartup {
  WinsockStartup() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

bool SendAll(SOCKET s, std::string_view data) {
  while (!data.empty()) {
    const int n = send(s, data.data(), static_cast<int>(std::min<size_t>(data.size(), 1 << 20)), 0);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name, bool* found) const {
  for (const auto& [key, value] : headers) {
    if (SameName(key, name)) {
      if (found != nullptr) *found = true;
      return value;
    }
  }
  if (found != nullptr) *found = false;
  return {};
}

WinsockHttpServer::WinsockHttpServer(Handler handler) : handler_(std::move(handler)) {
  static WinsockStartup startup;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (listener_ == INVALID_SOCKET ||
      bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0) {
    throw std::runtime_error("the test server cannot listen: Winsock error " +
                             std::to_string(WSAGetLastError()));
  }
  int size = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

WinsockHttpServer::~WinsockHttpServer() {
  Stop();
}

std::vector<HttpRequest> WinsockHttpServer::Requests() const {
  std::lock_guard lock(mu_);
  return requests_;
}

void WinsockHttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  closesocket(listener_);
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mu_);
    for (SOCKET s : open_) shutdown(s, SD_BOTH);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
}

void WinsockHttpServer::AcceptLoop() {
  for (;;) {
    const SOCKET connection = accept(listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) return;  // the listener was closed
    std::lock_guard lock(mu_);
    if (stopping_) {
      closesocket(connection);
      return;
    }
    open_.push_back(connection);
    workers_.emplace_back([this, connection] { Serve(connection); });
  }
}

void WinsockHttpServer::Serve(SOCKET connection) {
  std::string data;
  char buffer[65536];
  HttpRequest request;
  bool complete = false;
  size_t headerEnd = std::string::npos;
  size_t bodyLength = 0;
  while (!complete) {
    const int n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (headerEnd == std::string::npos) {
      headerEnd = data.find("\r\n\r\n");
      if (headerEnd == std::string::npos) continue;
      size_t lineEnd = data.find("\r\n");
      const std::string first = data.substr(0, lineEnd);
      const size_t a = first.find(' ');
      const size_t b = first.find(' ', a + 1);
      request.method = first.substr(0, a);
      request.target = first.substr(a + 1, b - a - 1);
      for (size_t pos = lineEnd + 2; pos < headerEnd;) {
        const size_t end = data.find("\r\n", pos);
        const std::string line = data.substr(pos, end - pos);
        const size_t colon = line.find(':');
        std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(value.begin());
        request.headers.emplace_back(line.substr(0, colon), value);
        pos = end + 2;
      }
      const std::string length = request.Header("Content-Length");
      bodyLength = length.empty() ? 0 : std::stoul(length);
    }
    complete = data.size() >= headerEnd + 4 + bodyLength;
  }
  if (complete) {
    request.body = data.substr(headerEnd + 4, bodyLength);
    {
      std::lock_guard lock(mu_);
      requests_.push_back(request);
    }
    HttpResponse response;
    handler_(request, response);
    size_t length = response.body.size();
    for (const auto& piece : response.pieces) length += piece.second.size();
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n";
    bool ok = SendAll(connection, head) && SendAll(connection, response.body);
    for (const auto& [pause, text] : response.pieces) {
      if (!ok || stopping_) break;
      std::this_thread::sleep_for(pause);
      ok = SendAll(connection, text);
    }
    shutdown(connection, SD_SEND);
    // Let the client read everything before the socket goes away.
    while (ok && recv(connection, buffer, sizeof buffer, 0) > 0) {
    }
  }
  std::lock_guard lock(mu_);
  open_.erase(std::remove(open_.begin(), open_.end(), connection), open_.end());
  closesocket(connection);
}

}  // namespace vorel::test
