#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"

// The HTTP client the service talks to the portal with. The interface lives here so that the layers above
// stay the same whichever transport fills it (libcurl on POSIX, WinHTTP on Windows).
namespace vorel {

// Failure kinds of a request; their class names are the kind names the service logs.
VOREL_DEFINE_ERROR(HttpError, Error);
VOREL_DEFINE_ERROR(HttpConnectError, HttpError);   // no connection (refused, unknown host, proxy refused)
VOREL_DEFINE_ERROR(HttpTimeoutError, HttpError);   // read or connect time-out
VOREL_DEFINE_ERROR(HttpStatusError, HttpError);    // the server answered with a status outside 200-299
VOREL_DEFINE_ERROR(HttpAbortedError, HttpError);   // broken off by Disconnect from another thread

// A multipart/form-data form: fields in the order added, values sent byte for byte.
class MultipartForm {
 public:
  void Add(std::string name, std::string value) { fields_.emplace_back(std::move(name), std::move(value)); }
  const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
};

struct ProxySettings {
  std::string host;  // empty: no proxy
  int port = 8080;
  std::string user;
  std::string password;
  bool basicAuth = false;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // POSTs the body with the given Content-Type and returns the whole response body.
  virtual std::string Post(const std::string& url, const std::string& contentType, const std::string& body) = 0;
  // GETs the address into memory.
  virtual std::string Get(const std::string& url) = 0;
  virtual ProxySettings& proxy() = 0;
  // Breaks off the request in progress, or the next one to start when none is; safe to call from another
  // thread. The request after the broken one works again.
  virtual void Disconnect() = 0;
};

}  // namespace vorel
