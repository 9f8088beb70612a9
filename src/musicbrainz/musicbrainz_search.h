#pragma once

#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

#include "disc/cd_track_info.h"
#include "lookup/lookup_cd.h"
#include "musicbrainz/musicbrainz_service.h"

namespace noru::musicbrainz {

// The text search answered by MusicBrainz itself: a release search by album title and artist,
// the candidates ranked by how well their track counts and lengths match the disc, the best
// few fetched with their tracks and mapped as the disc lookup maps them, best first.
// Raises SourceError, lookup::DecodingError, TransportError, CancellationError.
class MusicBrainzSearch {
 public:
  lookup::LookupCD::Response operator()(const std::string& artist, const std::string& album,
                                        const std::vector<disc::CDTrackInfo>& tracks,
                                        std::stop_token stop) const;

  MusicBrainzService service;
  // How many candidates are fetched with their tracks (one paced request each).
  std::size_t candidatesFetched = 3;
};

// The search query: the album as a release phrase and the artist as an artist phrase, each
// quoted with its quotes and backslashes escaped; an empty text is left out. Empty when both
// are empty.
std::string releaseQuery(const std::string& artist, const std::string& album);

}  // namespace noru::musicbrainz
