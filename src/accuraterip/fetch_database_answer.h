#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/pressing.h"
#include "platform/http/http_client.h"
#include "platform/http/web_services.h"

namespace noru::accuraterip {

// Asks the AccurateRip database what it holds for a disc: one GET of the database's address +
// the disc's database path. The pressings, or nothing when the database does not know the disc
// (404). Raises DatabaseAnswerError for any other unsuccessful status or a malformed answer,
// platform::http::TransportError when no answer came, platform::tasks::CancellationError.
class FetchDatabaseAnswer {
 public:
  explicit FetchDatabaseAnswer(platform::http::WebServices services)
      : services_(std::move(services)) {}

  std::optional<std::vector<Pressing>> operator()(const DiscIdentifiers& disc,
                                                  std::stop_token stop) const;

 private:
  platform::http::WebServices services_;
};

}  // namespace noru::accuraterip
