#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "disc/cd_disc_info.h"
#include "disc/cd_lookup_release.h"
#include "platform/http/http_client.h"
#include "platform/http/web_services.h"

namespace noru::lookup {

class JsonObjectReader;

// Asks the metadata service which releases match a disc, from its table of contents alone.
// One POST of the table of contents to /v1/cd/lookup; the answer is decoded whatever the HTTP
// status. Raises platform::http::TransportError (bad URL included), DecodingError,
// platform::tasks::CancellationError; it raises no error of its own. When the service cannot be
// reached, the second source (MusicBrainz) may answer in its place.
class LookupCD {
 public:
  // The document sent to the service.
  struct Request {
    std::int64_t firstTrack = 1;
    std::int64_t lastTrack = 0;
    std::int64_t leadOutOffset = 0;
    std::vector<std::int64_t> trackOffsets;

    // The numbers exactly as the disc info holds them: logical sector addresses, no lead-in
    // added; the first track is always 1 and the last is the number of tracks.
    static Request from(const disc::CDDiscInfo& disc);
    // Compact JSON with the member names in snake case.
    std::string encode() const;

    bool operator==(const Request&) const = default;
  };

  struct Track {
    std::int64_t number = 0;
    std::string title;
    std::string artistCredit;
    std::optional<std::int64_t> lengthMs;
    std::optional<std::string> recordingMbid;

    static Track decode(const JsonObjectReader& object);

    bool operator==(const Track&) const = default;
  };

  struct Release {
    std::string releaseMbid;
    std::optional<std::string> releaseGroupMbid;
    std::string title;
    std::string artistCredit;
    std::optional<std::string> artistMbid;
    std::optional<std::string> date;
    std::optional<std::string> country;
    std::vector<Track> tracks;
    std::optional<std::int64_t> caaId;
    std::optional<std::string> caaReleaseMbid;
    // Not in the service's answer: the second source's releases carry them.
    std::optional<std::int64_t> discNumber;
    std::optional<std::int64_t> discTotal;

    static Release decode(const JsonObjectReader& object);
    // The application's record of this release: every field copied unchanged, tracks in order.
    disc::CDLookupRelease toCDLookupRelease() const;

    bool operator==(const Release&) const = default;
  };

  // The service's answer, shared by the text search.
  struct Response {
    std::optional<std::string> discId;
    std::vector<Release> releases;

    // All or nothing: raises DecodingError at the first member that breaks the format.
    static Response decode(std::string_view body);
    std::vector<disc::CDLookupRelease> cdLookupReleases() const;

    bool operator==(const Response&) const = default;
  };

  // Asked instead when the service cannot be reached at all.
  using SecondSource = std::function<Response(const disc::CDDiscInfo&, std::stop_token)>;

  // Time without progress after which the exchange fails.
  static constexpr std::chrono::seconds kIdleTimeout{15};

  // The metadata service of `services`, and `secondSource` (if any) behind it.
  explicit LookupCD(platform::http::WebServices services = {}, SecondSource secondSource = {})
      : services_(std::move(services)), secondSource_(std::move(secondSource)) {}

  // Blocks its (background) thread for the one exchange (and the second source's, if asked).
  Response operator()(const disc::CDDiscInfo& disc, std::stop_token stop) const;

 private:
  platform::http::WebServices services_;
  SecondSource secondSource_;
};

}  // namespace noru::lookup
