#include "lookup/search_cd.h"

#include <utility>

#include "lookup/json_coding.h"
#include "lookup/second_source.h"
#include "lookup/service_request.h"
#include "platform/log/diagnostic_log.h"

namespace noru::lookup {

SearchCD::Request SearchCD::Request::from(const std::string& artist, const std::string& album,
                                          const std::vector<disc::CDTrackInfo>& tracks) {
  Request request{.artist = artist, .album = album};
  request.trackDurationsMs.reserve(tracks.size());
  for (const auto& track : tracks) {
    // This order of operations is part of the format the service expects.
    request.trackDurationsMs.push_back(
        static_cast<std::int64_t>(static_cast<double>(track.sectorCount) / 75.0 * 1000.0));
  }
  return request;
}

std::string SearchCD::Request::encode() const {
  return encodeCompact({
      {toSnakeCase("artist"), artist},
      {toSnakeCase("album"), album},
      {toSnakeCase("trackDurationsMs"), trackDurationsMs},
  });
}

LookupCD::Response SearchCD::operator()(const std::string& artist, const std::string& album,
                                        const std::vector<disc::CDTrackInfo>& tracks,
                                        std::stop_token stop) const {
  auto request = serviceRequest(services_.metadataService + "/v1/cd/search", kIdleTimeout);
  request.body = Request::from(artist, album, tracks).encode();

  platform::log::diagnostic("SearchCD: searching for '", artist, "' \u2014 '", album, "' (",
                            tracks.size(), " tracks)");
  auto decoded = askWithSecondSource<LookupCD::Response>(
      [&] {
        const auto response = services_.send(request, stop);
        const long status = response.statusCode > 0 ? response.statusCode : -1;
        platform::log::diagnostic("SearchCD: response status ", status, ", ", response.body.size(),
                                  " bytes");
        return LookupCD::Response::decode(response.body);
      },
      secondSource_ ? [&] { return secondSource_(artist, album, tracks, stop); }
                    : std::function<LookupCD::Response()>(),
      "SearchCD");
  platform::log::diagnostic("SearchCD: ", decoded.releases.size(), " release(s) returned");
  return decoded;
}

}  // namespace noru::lookup
