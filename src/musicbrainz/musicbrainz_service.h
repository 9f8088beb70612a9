#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "musicbrainz/rate_limiter.h"
#include "platform/http/http_client.h"
#include "platform/http/web_services.h"

namespace noru::musicbrainz {

// The public sources behind the metadata service, as the program asks them directly: the
// MusicBrainz web service (JSON, paced by the program-wide limiter), the Cover Art Archive,
// Wikidata and Wikimedia Commons, at the addresses `web` holds.
struct MusicBrainzService {
  platform::http::WebServices web;
  std::shared_ptr<RateLimiter> limiter = RateLimiter::musicBrainz();

  // GET the MusicBrainz address + "/ws/2/" + `resource` (a path with its query, without the
  // format), in JSON, once the limiter gives the turn; an answer 503 (too busy) is asked once more
  // at the next turn. Nothing for 404; otherwise as getJSON.
  std::optional<nlohmann::ordered_json> get(const std::string& resource,
                                            std::stop_token stop) const;

  // The identifier of the release's front image in the Cover Art Archive's listing. Best
  // effort: nothing when there is none or the listing cannot be had (a diagnostic line says
  // why); raises only platform::tasks::CancellationError.
  std::optional<std::int64_t> frontImageId(const std::string& releaseMbid,
                                           std::stop_token stop) const;
};

}  // namespace noru::musicbrainz
