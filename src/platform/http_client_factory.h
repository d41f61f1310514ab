#pragma once

#include <chrono>
#include <memory>

#include "platform/http_client.h"

namespace vorel {

struct HttpClientOptions {
  // A request fails when nothing at all has been sent or received for this long (not a limit on the whole
  // exchange: a slow but steady transfer goes on).
  std::chrono::milliseconds readTimeout{80000};
  std::chrono::milliseconds connectTimeout{30000};
};

// The platform's HTTP client: fixed headers Accept "text/html, */*" and User-Agent
// "Mozilla/3.0 (compatible; Indy Library)", cookies kept for the client's life, proxy port 8080 and basic
// authentication off until set.
std::unique_ptr<HttpClient> CreateHttpClient(const HttpClientOptions& options = {});

}  // namespace vorel
