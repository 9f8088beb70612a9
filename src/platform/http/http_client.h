#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/http/program_identity.h"
#include "platform/http/transport_error.h"

namespace noru::platform::http {

struct HttpRequest {
  std::string method = "GET";  // "GET" or "POST"
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // sent with POST
  // The request fails with "The request timed out." after this long without a byte sent or
  // received; connecting is given the same time.
  std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
  // How the program names itself to the server.
  std::string userAgent{kUserAgent};
};

struct HttpResponse {
  // The HTTP status code, or 0 when the answer carried none.
  long statusCode = 0;
  std::string body;
};

// Bodies larger than this are refused with TransportError::Kind::responseTooLarge.
inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{64} * 1024 * 1024;

// True for an absolute http or https address with a host. Every other scheme (file, ftp, data,
// ...) is refused: an address handed to us by a server must never reach a local file or
// another protocol.
bool isValidHttpUrl(std::string_view url);

// One libcurl exchange per call, no shared state. Redirects are followed (to http and https
// only) and TLS peers are verified. Returns the status and the body whatever the status; raises
// TransportError when no response could be obtained (bad URL included), or
// platform::tasks::CancellationError, within about a second, once `stop` is requested.
class HttpClient {
 public:
  HttpResponse send(const HttpRequest& request, std::stop_token stop) const;
};

// "Send one request", the shape in which operations hold their HTTP exchange as a replaceable
// collaborator.
using SendHttpRequest = std::function<HttpResponse(const HttpRequest&, std::stop_token)>;

inline HttpResponse sendHttpRequest(const HttpRequest& request, std::stop_token stop) {
  return HttpClient().send(request, std::move(stop));
}

}  // namespace noru::platform::http
