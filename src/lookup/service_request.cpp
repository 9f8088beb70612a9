#include "lookup/service_request.h"

namespace noru::lookup {

platform::http::HttpRequest serviceRequest(std::string url, std::chrono::milliseconds idleTimeout) {
  if (!platform::http::isValidHttpUrl(url)) {
    throw platform::http::TransportError(platform::http::TransportError::Kind::badURL);
  }
  return platform::http::HttpRequest{
      .method = "POST",
      .url = std::move(url),
      .headers = {{"Content-Type", "application/json"}},
      .idleTimeout = idleTimeout,
  };
}

}  // namespace noru::lookup
