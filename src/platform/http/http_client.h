#pragma once

#include <chrono>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace noru::platform::http {

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The request fails with "The request timed out." after this long without progress.
  std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
};

struct HttpResponse {
  long statusCode = 0;
  std::string body;
};

// An exchange that produced no response. what() is the short human-readable description that
// the window shows, e.g. "The request timed out.".
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Only http and https addresses are ever fetched.
bool isValidHttpUrl(std::string_view url);

// One libcurl exchange per call, no shared state. Returns the status and the body whatever the
// status; raises TransportError, or CancellationError once `stop` is requested.
class HttpClient {
 public:
  HttpResponse send(const HttpRequest& request, std::stop_token stop) const;
};

}  // namespace noru::platform::http
