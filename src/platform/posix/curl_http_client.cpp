#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/http_client_factory.h"
#include "platform/url_text.h"

namespace vorel {
namespace {

using SteadyClock = std::chrono::steady_clock;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// Collects the response: the body, and the reason phrase of the last status line for error texts.
struct Response {
  std::string body;
  std::string statusLine;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  static_cast<Response*>(user)->body.append(data, size * count);
  return size * count;
}

size_t WriteHeader(char* data, size_t size, size_t count, void* user) {
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    static_cast<Response*>(user)->statusLine.assign(line);
  }
  return size * count;
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(const HttpClientOptions& options) : options_(options) {
    InitCurlOnce();
    easy_.reset(curl_easy_init());
    multi_.reset(curl_multi_init());
    if (!easy_ || !multi_) throw HttpError("Cannot create the HTTP client");
    headers_.reset(curl_slist_append(nullptr, "Accept: text/html, */*"));
    // A POST body is sent at once, without waiting for a "100 Continue" the portal never sends.
    headers_.reset(curl_slist_append(headers_.release(), "Expect:"));
    // The handle is set up once and never reset: libcurl keeps the in-memory cookie engine across requests,
    // and enabling it again after each reset would leak a list node per request.
    CURL* h = easy_.get();
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response_);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &WriteHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &response_);
  }

  ~CurlHttpClient() override {
    // The easy handle must leave the multi handle before either is cleaned up.
    curl_multi_remove_handle(multi_.get(), easy_.get());
  }

  std::string Post(const std::string& url, const std::string& contentType, const std::string& body) override {
    Prepare(url, "Content-Type: " + contentType);
    curl_easy_setopt(easy_.get(), CURLOPT_POST, 1L);
    curl_easy_setopt(easy_.get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(easy_.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    return Perform();
  }

  std::string Get(const std::string& url) override {
    Prepare(url, "");
    curl_easy_setopt(easy_.get(), CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(easy_.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
    curl_easy_setopt(easy_.get(), CURLOPT_HTTPGET, 1L);
    return Perform();
  }

  ProxySettings& proxy() override { return proxy_; }

  void Disconnect() override {
    aborted_.store(true);
    curl_multi_wakeup(multi_.get());  // thread-safe: ends the wait of a request in progress at once
  }

 private:
  // The fixed headers, and one more when `extraHeader` is not empty; kept until the next request.
  void SetHeaders(const std::string& extraHeader) {
    curl_slist* list = nullptr;
    for (curl_slist* h = headers_.get(); h != nullptr; h = h->next) list = curl_slist_append(list, h->data);
    if (!extraHeader.empty()) list = curl_slist_append(list, extraHeader.c_str());
    requestHeaders_.reset(list);
    curl_easy_setopt(easy_.get(), CURLOPT_HTTPHEADER, list);
  }

  // Sets what differs from one request to the next; every such option is set each time, so nothing of the
  // previous request carries over.
  void Prepare(const std::string& url, const std::string& extraHeader) {
    CURL* h = easy_.get();
    errorBuffer_[0] = '\0';
    // Blanks and bytes above 127 (a Cyrillic password) cannot stand in a URL as they are.
    url_.clear();
    AppendUrlSafeBytes(url_, url);
    curl_easy_setopt(h, CURLOPT_URL, url_.c_str());
    SetHeaders(extraHeader);
    // The proxy is exactly what the service was told, never one from the environment.
    const bool proxied = !proxy_.host.empty();
    const bool basic = proxied && proxy_.basicAuth;
    curl_easy_setopt(h, CURLOPT_PROXY, proxy_.host.c_str());
    curl_easy_setopt(h, CURLOPT_PROXYPORT, proxied ? static_cast<long>(proxy_.port) : 0L);
    curl_easy_setopt(h, CURLOPT_NOPROXY, "");
    curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, basic ? proxy_.user.c_str() : nullptr);
    curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, basic ? proxy_.password.c_str() : nullptr);
    response_ = Response{};
  }

  // A Disconnect breaks off the request in progress, or the next one when it came between two: a stop that
  // lands just before a request starts must not wait for that request's answer.
  void ThrowIfAborted() {
    if (aborted_.exchange(false)) throw HttpAbortedError("Request broken off: client disconnected");
  }

  // Runs the prepared transfer; fails on silence longer than the read time-out, on Disconnect, on a transport
  // failure and on any status but success (2xx).
  std::string Perform() {
    ThrowIfAborted();
    CURL* h = easy_.get();
    CURLM* m = multi_.get();
    if (curl_multi_add_handle(m, h) != CURLM_OK) throw HttpError("Cannot start the request");
    struct Detach {
      CURLM* m;
      CURL* h;
      ~Detach() { curl_multi_remove_handle(m, h); }
    } detach{m, h};

    auto lastActivity = SteadyClock::now();
    curl_off_t lastUp = 0, lastDown = 0;
    size_t lastHeader = 0;
    for (;;) {
      int running = 0;
      const CURLMcode mc = curl_multi_perform(m, &running);
      if (mc != CURLM_OK) throw HttpError(curl_multi_strerror(mc));
      if (running == 0) break;
      ThrowIfAborted();

      curl_off_t up = 0, down = 0;
      curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &up);
      curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &down);
      const auto now = SteadyClock::now();
      if (up != lastUp || down != lastDown || response_.statusLine.size() != lastHeader) {
        lastUp = up;
        lastDown = down;
        lastHeader = response_.statusLine.size();
        lastActivity = now;
      }
      const auto silent = now - lastActivity;
      if (silent >= options_.readTimeout) {
        throw HttpTimeoutError("Read timed out: no data for " + std::to_string(options_.readTimeout.count()) +
                               " ms");
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(options_.readTimeout - silent);
      const int waitMs = static_cast<int>(std::clamp<long long>(left.count() + 1, 1, 1000));
      const CURLMcode pc = curl_multi_poll(m, nullptr, 0, waitMs, nullptr);
      if (pc != CURLM_OK) throw HttpError(curl_multi_strerror(pc));
      ThrowIfAborted();
    }

    CURLcode result = CURLE_OK;
    int pending = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &pending)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) result = msg->data.result;
    }
    if (result != CURLE_OK) ThrowTransportError(result);

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
      std::string text =
          response_.statusLine.empty() ? "HTTP status " + std::to_string(status) : response_.statusLine;
      throw HttpStatusError(text);
    }
    return std::move(response_.body);
  }

  [[noreturn]] void ThrowTransportError(CURLcode code) const {
    std::string message = errorBuffer_[0] != '\0' ? std::string(errorBuffer_) : curl_easy_strerror(code);
    switch (code) {
      case CURLE_OPERATION_TIMEDOUT:
        throw HttpTimeoutError(message);
      case CURLE_COULDNT_CONNECT:
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
      case CURLE_SEND_ERROR:
      case CURLE_RECV_ERROR:
      case CURLE_GOT_NOTHING:
        throw HttpConnectError(message);
      default:
        throw HttpError(message);
    }
  }

  HttpClientOptions options_;
  std::unique_ptr<CURL, EasyDeleter> easy_;
  std::unique_ptr<CURLM, MultiDeleter> multi_;
  std::unique_ptr<curl_slist, SlistDeleter> headers_;
  std::unique_ptr<curl_slist, SlistDeleter> requestHeaders_;
  ProxySettings proxy_;
  Response response_;
  std::string url_;
  char errorBuffer_[CURL_ERROR_SIZE]{};
  std::atomic<bool> aborted_{false};
};

}  // namespace

std::unique_ptr<HttpClient> CreateHttpClient(const HttpClientOptions& options) {
  return std::make_unique<CurlHttpClient>(options);
}

}  // namespace vorel
