#include <windows.h>
#include <winhttp.h>
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_client_factory.h"
#include "platform/windows/http_address.h"
#include "platform/windows/system_text.h"

// The HTTP client over WinHTTP in asynchronous mode: the calling thread starts each step of a request and
// waits for its completion or for Disconnect, so another thread can break off a request at any moment.
namespace vorel {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const wchar_t* kUserAgent = L"Mozilla/3.0 (compatible; Indy Library)";
constexpr DWORD kChunk = 64 * 1024;

// What one request shares with WinHTTP's callback thread. WinHTTP may still write into `buffer` after a
// request has been broken off, so the callback frees this once WinHTTP closes the request handle.
struct Exchange {
  Exchange() : event(CreateEventW(nullptr, FALSE, FALSE, nullptr)), buffer(kChunk) {}
  ~Exchange() {
    if (event != nullptr) CloseHandle(event);
  }
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  HANDLE event;  // set at each completion
  std::mutex mu;
  bool completed = false;
  DWORD status = 0;          // callback status of the completion
  DWORD value = 0;           // bytes available, read or written
  DWORD error = 0;           // of a failed step
  std::vector<char> buffer;  // where reads land and writes come from
};

using ExchangeHolder = std::shared_ptr<Exchange>;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  auto* holder = reinterpret_cast<ExchangeHolder*>(context);
  if (holder == nullptr) return;
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    delete holder;
    return;
  }
  DWORD value = 0, error = 0;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
      value = info != nullptr ? *static_cast<DWORD*>(info) : 0;
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      value = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      error =
          info != nullptr ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR;
      break;
    default:
      return;
  }
  Exchange& x = **holder;
  {
    std::lock_guard lock(x.mu);
    x.completed = true;
    x.status = status;
    x.value = value;
    x.error = error;
  }
  SetEvent(x.event);
}

struct HandleCloser {
  void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using InternetHandle = std::unique_ptr<void, HandleCloser>;

// The phases of a request, for the texts of its failures.
enum class Phase { kConnect, kTransfer };

class WinHttpClient final : public HttpClient {
 public:
  explicit WinHttpClient(const HttpClientOptions& options)
      : options_(options), abortEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (abortEvent_ == nullptr) throw HttpError("Cannot create the HTTP client");
    OpenSession();
  }

  ~WinHttpClient() override {
    session_.reset();
    CloseHandle(abortEvent_);
  }

  std::string Post(const std::string& url, const std::string& contentType, const std::string& body) override {
    return Perform(L"POST", url, "Content-Type: " + contentType + "\r\n", body);
  }

  std::string Get(const std::string& url) override { return Perform(L"GET", url, {}, {}); }

  ProxySettings& proxy() override { return proxy_; }

  void Disconnect() override {
    aborted_.store(true);
    SetEvent(abortEvent_);  // ends the wait of a request in progress at once
  }

 private:
  // The request's handles, closed in reverse order of opening; closing the request handle cancels a step in
  // progress.
  struct Request {
    InternetHandle connection;
    InternetHandle request;
  };

  std::string Perform(const wchar_t* verb, const std::string& url, const std::string& extraHeaders,
                      const std::string& body) {
    // A Disconnect breaks off the request in progress, or the next one when it came between two: a stop that
    // lands just before a request starts must not wait for that request's answer.
    ResetEvent(abortEvent_);
    if (aborted_.exchange(false)) throw HttpAbortedError("Request broken off: client disconnected");
    const windows::HttpAddress address = windows::ParseHttpAddress(url);
    OpenSession();
    target_ = (sessionProxy_.empty() ? std::string() : "proxy " + sessionProxy_ + " for ") + address.host +
              " port " + std::to_string(address.port);

    Request r;
    r.connection.reset(
        WinHttpConnect(session_.get(), windows::AnsiToWide(address.host).c_str(), address.port, 0));
    if (!r.connection) ThrowError(GetLastError(), Phase::kConnect);
    // The address is already written as it must travel: WinHTTP must not escape it again.
    const DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
                        (address.secure ? WINHTTP_FLAG_SECURE : 0);
    r.request.reset(WinHttpOpenRequest(r.connection.get(), verb, windows::AnsiToWide(address.target).c_str(),
                                       nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!r.request) ThrowError(GetLastError(), Phase::kConnect);
    HINTERNET h = r.request.get();

    // From here on the request handle owns one reference to the exchange; its closing frees it.
    auto exchange = std::make_shared<Exchange>();
    if (exchange->event == nullptr) throw HttpError("Cannot create the HTTP client");
    if (WinHttpSetStatusCallback(h, &OnStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
      ThrowError(GetLastError(), Phase::kConnect);
    }
    auto* holder = new ExchangeHolder(exchange);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(holder);
    if (!WinHttpSetOption(h, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
      const DWORD error = GetLastError();
      delete holder;
      ThrowError(error, Phase::kConnect);
    }
    Exchange& x = *exchange;

    Configure(h);
    std::string headers = "Accept: text/html, */*\r\n" + extraHeaders;
    if (!proxy_.host.empty() && proxy_.basicAuth) {
      headers += "Proxy-Authorization: " + windows::BasicAuthorization(proxy_.user, proxy_.password) + "\r\n";
    }
    const std::wstring wideHeaders = windows::AnsiToWide(headers);
    if (!WinHttpAddRequestHeaders(h, wideHeaders.c_str(), static_cast<DWORD>(wideHeaders.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
      ThrowError(GetLastError(), Phase::kConnect);
    }

    Start(x,
          WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                             static_cast<DWORD>(body.size()), context),
          Phase::kConnect);
    // Resolving, connecting and sending the headers, each under its own time-out.
    Await(x, options_.connectTimeout * 2 + options_.readTimeout, Phase::kConnect);

    for (size_t sent = 0; sent < body.size();) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(body.size() - sent, kChunk));
      std::copy_n(body.data() + sent, piece, x.buffer.data());
      Start(x, WinHttpWriteData(h, x.buffer.data(), piece, nullptr), Phase::kTransfer);
      Await(x, options_.readTimeout, Phase::kTransfer);
      if (x.value == 0) throw HttpConnectError("Connection closed while sending the request to " + target_);
      sent += x.value;
    }

    Start(x, WinHttpReceiveResponse(h, nullptr), Phase::kTransfer);
    Await(x, options_.readTimeout, Phase::kTransfer);
    CheckStatus(h);

    std::string response;
    for (;;) {
      Start(x, WinHttpQueryDataAvailable(h, nullptr), Phase::kTransfer);
      Await(x, options_.readTimeout, Phase::kTransfer);
      if (x.value == 0) break;
      const DWORD want = std::min<DWORD>(x.value, kChunk);
      Start(x, WinHttpReadData(h, x.buffer.data(), want, nullptr), Phase::kTransfer);
      Await(x, options_.readTimeout, Phase::kTransfer);
      if (x.value == 0) break;
      response.append(x.buffer.data(), x.value);
    }
    return response;
  }

  void Configure(HINTERNET h) {
    const int connectMs = static_cast<int>(options_.connectTimeout.count());
    const int readMs = static_cast<int>(options_.readTimeout.count());
    // The read time-out is the longest silence of one send or receive, set on the request handle.
    if (!WinHttpSetTimeouts(h, connectMs, connectMs, readMs, readMs))
      ThrowError(GetLastError(), Phase::kConnect);
    DWORD responseTimeout = static_cast<DWORD>(readMs);
    WinHttpSetOption(h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout, sizeof responseTimeout);
    // A redirect is not followed: it fails the request, as with the POSIX client.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(h, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);
  }

  // The proxy server as WinHTTP takes it, "host:port"; empty for none.
  std::string ProxyServer() const {
    if (proxy_.host.empty()) return {};
    std::string server = proxy_.host;
    if (server.starts_with("http://")) server.erase(0, 7);
    while (!server.empty() && server.back() == '/') server.pop_back();
    if (server.find(':') == std::string::npos || server.starts_with('[')) {
      server += ':';
      server += std::to_string(proxy_.port);
    }
    return server;
  }

  // The proxy belongs to the session (the only place every WinHTTP, Wine's included, reads it from), so a
  // session is opened again when the proxy server changes; the cookies of the old one go with it. Never a
  // proxy of the system's or the environment's: only the one the service is told to use, and "<-loopback>"
  // sends even 127.0.0.1 through it.
  void OpenSession() {
    const std::string server = ProxyServer();
    if (session_ && server == sessionProxy_) return;
    InternetHandle session;
    if (server.empty()) {
      session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    } else {
      session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                windows::AnsiToWide(server).c_str(), L"<-loopback>", WINHTTP_FLAG_ASYNC));
    }
    if (!session)
      throw HttpError("Cannot create the HTTP client: " + windows::SystemErrorText(GetLastError()));
    session_ = std::move(session);
    sessionProxy_ = server;
  }

  void Start(Exchange& x, BOOL started, Phase phase) {
    if (!started) ThrowError(GetLastError(), phase);
  }

  // Waits for the step just started; fails on Disconnect, on silence longer than `limit` and on the step's
  // own failure.
  void Await(Exchange& x, milliseconds limit, Phase phase) {
    const auto start = SteadyClock::now();
    const HANDLE events[2] = {abortEvent_, x.event};
    for (;;) {
      if (aborted_.exchange(false)) throw HttpAbortedError("Request broken off: client disconnected");
      {
        std::lock_guard lock(x.mu);
        if (x.completed) {
          x.completed = false;
          break;
        }
      }
      const auto left = limit - std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start);
      if (left.count() <= 0) ThrowError(ERROR_WINHTTP_TIMEOUT, phase);
      WaitForMultipleObjects(2, events, FALSE,
                             static_cast<DWORD>(std::min<long long>(left.count() + 1, 1000)));
    }
    if (x.status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) ThrowError(x.error, phase);
  }

  void CheckStatus(HINTERNET h) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
      ThrowError(GetLastError(), Phase::kTransfer);
    }
    // Only success is an answer: a redirect or an error page is never taken for a reply of the portal.
    if (status >= 200 && status < 300) return;
    // The status line as the server sent it, e.g. "HTTP/1.1 404 Not Found".
    std::string line = HeaderText(h, WINHTTP_QUERY_VERSION);
    if (line.empty()) line = "HTTP";
    line += " " + std::to_string(status);
    const std::string reason = HeaderText(h, WINHTTP_QUERY_STATUS_TEXT);
    if (!reason.empty()) line += " " + reason;
    throw HttpStatusError(line);
  }

  static std::string HeaderText(HINTERNET h, DWORD query) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(h, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      return {};
    }
    return windows::WideToAnsi(std::wstring_view(buffer, size / sizeof(wchar_t)));
  }

  [[noreturn]] void ThrowError(DWORD error, Phase phase) {
    const std::string code = " (WinHTTP error " + std::to_string(error) + ")";
    switch (error) {
      case ERROR_WINHTTP_TIMEOUT:
      case ERROR_TIMEOUT:
      case WSAETIMEDOUT:
        if (phase == Phase::kConnect) {
          throw HttpTimeoutError("Connection to " + target_ + " timed out after " +
                                 std::to_string(options_.connectTimeout.count()) + " ms");
        }
        throw HttpTimeoutError("Read timed out: no data for " + std::to_string(options_.readTimeout.count()) +
                               " ms");
      case ERROR_WINHTTP_OPERATION_CANCELLED:
        if (aborted_.exchange(false)) throw HttpAbortedError("Request broken off: client disconnected");
        throw HttpError("Request cancelled" + code);
      case ERROR_WINHTTP_CANNOT_CONNECT:
      case WSAECONNREFUSED:
        throw HttpConnectError("Failed to connect to " + target_ + code);
      case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      case WSAHOST_NOT_FOUND:
        throw HttpConnectError("Could not resolve host of " + target_ + code);
      case ERROR_WINHTTP_CONNECTION_ERROR:
      case WSAECONNRESET:
      case WSAECONNABORTED:
        throw HttpConnectError("Connection to " + target_ + " was reset or closed" + code);
      case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        throw HttpConnectError("Empty or invalid reply from " + target_ + code);
      default:
        throw HttpError(windows::SystemErrorText(error, L"winhttp.dll") + code);
    }
  }

  HttpClientOptions options_;
  HANDLE abortEvent_;  // set by Disconnect, manual reset
  InternetHandle session_;
  std::string sessionProxy_;  // the proxy server of session_
  ProxySettings proxy_;
  std::string target_;  // where the request goes, for failure texts
  std::atomic<bool> aborted_{false};
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient(const HttpClientOptions& options) {
  return std::make_unique<WinHttpClient>(options);
}

}  // namespace vorel
