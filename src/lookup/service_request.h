#pragma once

#include <chrono>
#include <string>

#include "platform/http/http_client.h"

namespace noru::lookup {

// A POST of one JSON document (the body is the caller's to fill in) to the metadata service at
// `url`, with "Content-Type" as its only header. Raises the bad-URL TransportError when `url`
// is not an http(s) address, before anything else is done.
platform::http::HttpRequest serviceRequest(std::string url, std::chrono::milliseconds idleTimeout);

}  // namespace noru::lookup
