#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "disc/cd_track_info.h"
#include "lookup/lookup_cd.h"
#include "platform/http/http_client.h"
#include "platform/http/web_services.h"

namespace noru::lookup {

// Finds releases on the metadata service from a typed artist and album, with the disc's track
// lengths as a hint. One POST to /v1/cd/search; the answer is the lookup's response document,
// decoded whatever the HTTP status. Raises platform::http::TransportError (bad URL included),
// DecodingError, EncodingError, platform::tasks::CancellationError; none of its own. When the
// service cannot be reached, the second source (MusicBrainz) may answer in its place.
class SearchCD {
 public:
  struct Request {
    std::string artist;
    std::string album;
    std::vector<std::int64_t> trackDurationsMs;

    // The texts exactly as typed; each track's length is sectors / 75.0 * 1000.0, truncated
    // (603 sectors are 8039 ms).
    static Request from(const std::string& artist, const std::string& album,
                        const std::vector<disc::CDTrackInfo>& tracks);
    // Compact JSON with the member names in snake case. Raises EncodingError.
    std::string encode() const;

    bool operator==(const Request&) const = default;
  };

  // Asked instead when the service cannot be reached at all.
  using SecondSource = std::function<LookupCD::Response(
      const std::string& artist, const std::string& album,
      const std::vector<disc::CDTrackInfo>& tracks, std::stop_token)>;

  // Time without progress after which the exchange fails.
  static constexpr std::chrono::seconds kIdleTimeout{30};

  // The metadata service of `services`, and `secondSource` (if any) behind it.
  explicit SearchCD(platform::http::WebServices services = {}, SecondSource secondSource = {})
      : services_(std::move(services)), secondSource_(std::move(secondSource)) {}

  // Blocks its (background) thread for the one exchange.
  LookupCD::Response operator()(const std::string& artist, const std::string& album,
                                const std::vector<disc::CDTrackInfo>& tracks,
                                std::stop_token stop) const;

 private:
  platform::http::WebServices services_;
  SecondSource secondSource_;
};

}  // namespace noru::lookup
