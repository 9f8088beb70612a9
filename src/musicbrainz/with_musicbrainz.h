#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "lookup/lookup_cd.h"
#include "lookup/search_cd.h"
#include "musicbrainz/musicbrainz_artist_picture.h"
#include "musicbrainz/musicbrainz_lookup.h"
#include "musicbrainz/musicbrainz_search.h"
#include "platform/http/web_services.h"

namespace noru::musicbrainz {

// The metadata service's operations as the program uses them: with MusicBrainz standing in
// when the service cannot be reached, if `services` says so.

inline lookup::LookupCD lookupWithMusicBrainz(const platform::http::WebServices& services) {
  if (!services.musicBrainzAsSecondSource) {
    return lookup::LookupCD(services);
  }
  return lookup::LookupCD(services, MusicBrainzLookup{MusicBrainzService{services}});
}

inline lookup::SearchCD searchWithMusicBrainz(const platform::http::WebServices& services) {
  if (!services.musicBrainzAsSecondSource) {
    return lookup::SearchCD(services);
  }
  return lookup::SearchCD(services, MusicBrainzSearch{.service = MusicBrainzService{services}});
}

// Where the artist's picture is when the metadata service cannot be reached; none when
// MusicBrainz is not to be asked.
using ArtistPictureSource =
    std::function<std::optional<std::string>(const std::string& artistMbid, std::stop_token)>;
inline ArtistPictureSource artistPictureFromMusicBrainz(
    const platform::http::WebServices& services) {
  if (!services.musicBrainzAsSecondSource) {
    return {};
  }
  return MusicBrainzArtistPicture{MusicBrainzService{services}};
}

}  // namespace noru::musicbrainz
