#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/pressing.h"
#include "platform/http/http_client.h"
#include "platform/http/service_addresses.h"

namespace noru::accuraterip {

// Asks the AccurateRip database what it holds for a disc: one GET of baseURL + the disc's
// database path. The pressings, or nothing when the database does not know the disc (404).
// Raises DatabaseAnswerError for any other unsuccessful status or a malformed answer,
// platform::http::TransportError when no answer came, platform::tasks::CancellationError.
class FetchDatabaseAnswer {
 public:
  std::optional<std::vector<Pressing>> operator()(const DiscIdentifiers& disc,
                                                  std::stop_token stop) const;

  std::string baseURL{platform::http::kAccurateRipBaseURL};
  platform::http::SendHttpRequest send = platform::http::sendHttpRequest;
};

}  // namespace noru::accuraterip
