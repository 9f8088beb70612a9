#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "musicbrainz/musicbrainz_service.h"

namespace noru::musicbrainz {

// The address of an artist's picture found without the metadata service: the artist's
// Wikidata item linked from MusicBrainz, that item's image (a Wikimedia Commons file), asked
// for at about 1000 pixels wide. Nothing when any step has none. Raises SourceError,
// lookup::DecodingError, TransportError, CancellationError.
class MusicBrainzArtistPicture {
 public:
  std::optional<std::string> operator()(const std::string& artistMbid, std::stop_token stop) const;

  MusicBrainzService service;
};

}  // namespace noru::musicbrainz
